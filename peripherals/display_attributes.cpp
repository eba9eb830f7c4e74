#include "peripherals/display_attributes.hpp"

#include <QRegularExpression>
#include <QStringConverter>
#include <QStringDecoder>
#include <algorithm>

namespace tamrik {
namespace {

// Unicode properties, so that \s and \d mean any white space and any decimal digit.
QRegularExpression pattern(const char* text) {
  return QRegularExpression(QString::fromUtf8(text), QRegularExpression::UseUnicodePropertiesOption);
}

// Two searches, the second within what the first matched; the result is the second's whole match with the
// quotation marks at its ends removed.
std::optional<QString> extract(const QString& line, const QRegularExpression& first,
                               const QRegularExpression& second) {
  auto outer = first.match(line);
  if (!outer.hasMatch()) return std::nullopt;
  auto inner = second.match(outer.captured(0));
  if (!inner.hasMatch()) return std::nullopt;
  QString value = inner.captured(0);
  qsizetype begin = 0, end = value.size();
  while (begin < end && value[begin] == u'"') ++begin;
  while (end > begin && value[end - 1] == u'"') --end;
  return value.mid(begin, end - begin);
}

}  // namespace

std::optional<QString> extractProductName(const QString& line) {
  static const auto first = pattern(R"re("ProductName"\s*=\s*"([^"]+)")re");
  static const auto second = pattern(R"re("([^"]+)"$)re");
  return extract(line, first, second);
}

std::optional<QString> extractAlphanumericSerialNumber(const QString& line) {
  static const auto first = pattern(R"re("AlphanumericSerialNumber"\s*=\s*"([^"]+)")re");
  static const auto second = pattern(R"re("([^"]+)"$)re");
  return extract(line, first, second);
}

std::optional<QString> extractSerialNumber(const QString& line) {
  static const auto first = pattern(R"re("SerialNumber"\s*=\s*([^"]+))re");
  static const auto second = pattern(R"re((\d+))re");
  return extract(line, first, second);
}

DisplayListing parseDisplayListing(const QByteArray& output) {
  DisplayListing listing;
  QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = decoder.decode(output);
  // Only a display's block counts as a display: a shell's message on the same pipe is none.
  static const QByteArray kBlock = QByteArrayLiteral("\"DisplayAttributes\"");
  if (decoder.hasError()) {
    // No line is read then, so every display listed is left out.
    const auto lines = output.split('\n');
    listing.displaysWithoutSerialNumber = static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [](const QByteArray& line) { return line.contains(kBlock); }));
    return listing;
  }
  auto& displays = listing.displays;
  for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
    const qsizetype before = displays.size();
    QString name = extractProductName(line).value_or(QStringLiteral("Monitor"));
    const auto alphanumeric = extractAlphanumericSerialNumber(line);
    if (alphanumeric) displays.append({*alphanumeric, name, QStringLiteral("display"), false});
    if (auto serial = extractSerialNumber(line))
      displays.append({*serial, name, QStringLiteral("display"), alphanumeric.has_value()});
    if (displays.size() == before && line.contains(QLatin1String(kBlock)))
      ++listing.displaysWithoutSerialNumber;
  }
  return listing;
}

QList<PeripheralInfo> parseDisplayAttributes(const QByteArray& output) {
  return parseDisplayListing(output).displays;
}

}  // namespace tamrik
