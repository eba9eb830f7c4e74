#pragma once

// Coding paths as the CSV decoder and encoder build them for their errors. Not part of the public
// interface.

#include <cstdint>
#include <string>
#include <utility>

#include "tamrikcsv/text/coding_key.hpp"
#include "tamrikcsv/text/csv_error.hpp"

namespace tamrikcsv::detail {

/// A copy that owns its text: errors keep their keys after the call, and a key may only view its text.
inline CodingKey owned(const CodingKey& key) {
  return CodingKey(std::string(key.stringValue()), key.intValue());
}
inline CodingPath owned(const CodingPath& path) {
  CodingPath out;
  out.reserve(path.size());
  for (const auto& key : path) out.push_back(owned(key));
  return out;
}

/// The key of a row or field position.
inline CodingKey indexKey(std::int64_t index) {
  return CodingKey(static_cast<int>(index));
}

inline CodingPath appending(CodingPath path, CodingKey key) {
  path.push_back(std::move(key));
  return path;
}
inline CodingPath appending(CodingPath path, CodingKey first, CodingKey second) {
  path.reserve(path.size() + 2);
  path.push_back(std::move(first));
  path.push_back(std::move(second));
  return path;
}

/// A container or key error of `Error` (a `CSVError`), with the path and, where one is at fault, the key.
template <class Error>
Error pathError(typename Error::Kind kind, std::string reason, std::string help, const CodingPath& path,
                const CodingKey* key = nullptr) {
  UserInfo info = key ? UserInfo{{"Coding path", owned(path)}, {"Key", owned(*key)}}
                      : UserInfo{{"Coding path", owned(path)}};
  return Error(kind, std::move(reason), std::move(help), std::move(info));
}

}  // namespace tamrikcsv::detail
