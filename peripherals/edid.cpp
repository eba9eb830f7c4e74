#include "peripherals/edid.hpp"

#include <algorithm>
#include <numeric>

namespace tamrik {
namespace {

constexpr int kBaseBlock = 128;
constexpr unsigned char kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

unsigned char at(const QByteArray& bytes, int i) {
  return static_cast<unsigned char>(bytes[i]);
}

// A string descriptor's piece of text: up to 13 bytes, ended by a line feed or a NUL and then padded.
// Nothing when the piece holds anything but printable ASCII before its end.
std::optional<std::string> descriptorText(const QByteArray& edid, int offset) {
  std::string text;
  for (int i = offset + 5; i < offset + 18; ++i) {
    unsigned char c = at(edid, i);
    if (c == 0x0A || c == 0x00) break;
    if (c < 0x20 || c > 0x7E) return std::nullopt;
    text.push_back(static_cast<char>(c));
  }
  return text;
}

std::optional<std::string> withoutTrailingSpaces(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) return std::nullopt;
  return text;
}

// 0 means "not given"; 0x01010101 and 0xFFFFFFFF are placeholders that many monitors carry, and as serial
// numbers they would make different monitors one.
bool isPlaceholderSerial(std::uint32_t serial) {
  return serial == 0 || serial == 0x01010101 || serial == 0xFFFFFFFF;
}

std::string withoutQuotesOrBraces(std::string text) {
  std::erase_if(text, [](char c) { return c == '"' || c == '{' || c == '}'; });
  return text;
}

}  // namespace

std::optional<EdidIdentity> parseEdid(const QByteArray& edid) {
  if (edid.size() < kBaseBlock) return std::nullopt;
  if (!std::equal(std::begin(kHeader), std::end(kHeader), edid.begin(),
                  [](unsigned char h, char b) { return h == static_cast<unsigned char>(b); }))
    return std::nullopt;
  unsigned sum = std::accumulate(edid.begin(), edid.begin() + kBaseBlock, 0U, [](unsigned total, char b) {
    return total + static_cast<unsigned char>(b);
  });
  if (sum % 256 != 0) return std::nullopt;

  EdidIdentity identity;
  unsigned id = at(edid, 8) << 8 | at(edid, 9);
  for (int shift : {10, 5, 0}) {
    unsigned letter = (id >> shift) & 0x1F;
    if (letter < 1 || letter > 26) return std::nullopt;
    identity.manufacturer.push_back(static_cast<char>('A' + letter - 1));
  }
  identity.productCode = static_cast<std::uint16_t>(at(edid, 10) | at(edid, 11) << 8);
  std::uint32_t serial =
      at(edid, 12) | at(edid, 13) << 8 | at(edid, 14) << 16 | std::uint32_t{at(edid, 15)} << 24;
  if (!isPlaceholderSerial(serial)) identity.serial = serial;

  // A text longer than 13 bytes goes on in the next descriptor of the same tag. A piece that fills its
  // descriptor has no terminator and so no padding: a space at its end is part of the text. The pieces join
  // as they are, and only the whole text loses its trailing spaces.
  std::string serialText, name;
  for (int offset : {54, 72, 90, 108}) {
    // A display descriptor starts with two zero bytes; its tag is byte 3.
    if (at(edid, offset) != 0 || at(edid, offset + 1) != 0) continue;
    unsigned char tag = at(edid, offset + 3);
    if (tag != 0xFF && tag != 0xFC) continue;
    if (auto piece = descriptorText(edid, offset)) (tag == 0xFF ? serialText : name) += *piece;
  }
  identity.serialText = withoutTrailingSpaces(std::move(serialText));
  identity.name = withoutTrailingSpaces(std::move(name));
  return identity;
}

QByteArray displayAttributesLine(const EdidIdentity& identity) {
  std::string line = R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"=")" +
                     withoutQuotesOrBraces(identity.manufacturer) + R"(","ProductID"=)" +
                     std::to_string(identity.productCode);
  if (identity.serial) line += R"(,"SerialNumber"=)" + std::to_string(*identity.serial);
  if (identity.serialText)
    line += R"(,"AlphanumericSerialNumber"=")" + withoutQuotesOrBraces(*identity.serialText) + '"';
  if (identity.name) line += R"(,"ProductName"=")" + withoutQuotesOrBraces(*identity.name) + '"';
  line += '}';
  return QByteArray::fromStdString(line);
}

}  // namespace tamrik
