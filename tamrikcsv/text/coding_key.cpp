#include "tamrikcsv/text/coding_key.hpp"

namespace tamrikcsv {

std::string describe(const CodingPath& path) {
  std::string out = "[";
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) out += ", ";
    // A position prints as a number; a named key with an integer (such as "super") by its name.
    if (path[i].intValue() && path[i].stringValue() == std::to_string(*path[i].intValue()))
      out += path[i].stringValue();
    else
      out.append("\"").append(path[i].stringValue()).append("\"");
  }
  return out + "]";
}

}  // namespace tamrikcsv
