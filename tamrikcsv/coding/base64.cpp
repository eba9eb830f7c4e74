#include <array>

#include "tamrikcsv/coding/values.hpp"

namespace tamrikcsv {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> makeDecodingTable() {
  std::array<int, 256> table{};
  table.fill(kNotInAlphabet);
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}

constexpr std::array<int, 256> kDecodingTable = makeDecodingTable();

}  // namespace

std::string base64Encode(std::span<const std::byte> bytes) {
  std::string result;
  result.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const auto group = std::to_integer<std::uint32_t>(bytes[i]) << 16 |
                       std::to_integer<std::uint32_t>(bytes[i + 1]) << 8 |
                       std::to_integer<std::uint32_t>(bytes[i + 2]);
    result += kAlphabet[group >> 18];
    result += kAlphabet[group >> 12 & 63];
    result += kAlphabet[group >> 6 & 63];
    result += kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = std::to_integer<std::uint32_t>(bytes[i]) << 16;
    if (rest == 2) group |= std::to_integer<std::uint32_t>(bytes[i + 1]) << 8;
    result += kAlphabet[group >> 18];
    result += kAlphabet[group >> 12 & 63];
    result += rest == 2 ? kAlphabet[group >> 6 & 63] : '=';
    result += '=';
  }
  return result;
}

std::optional<Data> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  Data result;
  result.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    // Padding may only end the last quartet, as "xx==" or "xxx=".
    std::size_t padding = 0;
    if (last && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 4 - padding; ++j) {
      const int value = kDecodingTable[static_cast<unsigned char>(text[i + j])];
      if (value == kNotInAlphabet) return std::nullopt;
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    group <<= 6 * padding;
    result.push_back(static_cast<std::byte>(group >> 16));
    if (padding < 2) result.push_back(static_cast<std::byte>(group >> 8 & 0xFF));
    if (padding < 1) result.push_back(static_cast<std::byte>(group & 0xFF));
  }
  return result;
}

}  // namespace tamrikcsv
