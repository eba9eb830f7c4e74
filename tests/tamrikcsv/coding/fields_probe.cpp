// Declarations that must not compile, one per macro; CTest expects each to fail with its message.

#include <string>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

struct Desk {
  std::string id, name;
};

#if defined(PROBE_SAME_TITLE_TWICE)
template <>
struct tamrikcsv::Fields<Desk> {
  static constexpr std::tuple list{field("Desk", &Desk::id), field("Desk", &Desk::name)};
};
#elif defined(PROBE_SAME_POSITION_TWICE)
template <>
struct tamrikcsv::Fields<Desk> {
  static constexpr std::tuple list{field(0, &Desk::id), field("Name", 0, &Desk::name)};
};
#endif

int main() {
#if defined(PROBE_TITLES_UNDECLARED)
  (void)tamrikcsv::fieldTitles<Desk>();
#endif
  return static_cast<int>(tamrikcsv::CSVDecoder().decodeText<std::vector<Desk>>("a,b\n").size());
}
