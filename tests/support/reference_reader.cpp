#include "support/reference_reader.hpp"

#include <algorithm>
#include <cstdio>
#include <set>

namespace tamrikcsv::test {

std::string toUTF8(std::u32string_view scalars) {
  std::string out;
  for (char32_t c : scalars) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

namespace {

using Row = std::vector<std::string>;

struct Raised {
  ErrorText text;
};

// What readers say when the parse fails.
const char* const kUnterminated =
    "The last field is escaped (with double quotes if you haven't changed the defaults) and an EOF (End "
    "of File) was encountered before the field matched at the end with the closing escaping scalar.";
const char* const kUnterminatedHelp =
    "End the targeted field with the scaping scalar (double quotes by default).";
const char* const kAfterEscaped =
    "The targeted field parsed successfully. However, the character right after it was not a field nor "
    "row delimiter.";
const char* const kAfterEscapedCRHelp =
    "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy for \"\\r\".";
const char* const kAfterEscapedHelp =
    "There seems to be some characters after the escaping character and before the next field or the end "
    "of the row. Please remove those.";
const char* const kEscapeInUnescaped =
    "The escaping scalar (double quotes by default) is not allowed within fields which aren't already "
    "escaped.";
const char* const kEscapeInUnescapedHelp =
    "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping "
    "scalar found within the field.";
const char* const kFieldCount = "The number of fields is not constant between rows.";
const char* const kFieldCountHelp =
    "Make sure the CSV file has always the same amount of fields per row (including the header row).";

std::string rowIndex(std::int64_t index) {
  return "Row index: " + std::to_string(index);
}

class Reference {
 public:
  Reference(const ReaderConfiguration& configuration, std::u32string_view input,
            const std::optional<ErrorText>& endError)
      : settings_(ReaderSettings::make(configuration)), input_(input), endError_(endError) {
    rows_.assign(settings_.delimiters.row.begin(), settings_.delimiters.row.end());
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const auto& a, const auto& b) { return a.size() < b.size(); });
  }

  Outcome run(bool header) {
    Outcome outcome;
    try {
      if (header) {
        auto line = parseLine(0);
        if (!line) return outcome;
        outcome.headers = *line;
        count_ = 1;
        fields_ = line->size();
      }
    } catch (const Raised& raised) {
      outcome.error = raised.text;
      return outcome;
    }
    try {
      while (auto row = readRow()) outcome.rows.push_back(*row);
    } catch (const Raised& raised) {
      outcome.error = raised.text;
    }
    return outcome;
  }

 private:
  [[noreturn]] static void raise(std::string reason, std::string help, std::string userInfo) {
    throw Raised{{std::move(reason), std::move(help), std::move(userInfo)}};
  }

  std::optional<char32_t> next() {
    if (!pushed_.empty()) {
      char32_t c = pushed_.back();
      pushed_.pop_back();
      return c;
    }
    if (at_ < input_.size()) return input_[at_++];
    if (endError_) throw Raised{*endError_};
    return std::nullopt;
  }
  // Hands back scalars read ahead so that the first of them is read next.
  void pushBack(std::u32string_view ahead) { pushed_.insert(pushed_.end(), ahead.rbegin(), ahead.rend()); }

  bool trimmed(char32_t c) const { return settings_.isTrimNeeded && settings_.trimCharacters.contains(c); }
  bool escaping(char32_t c) const { return settings_.escapingScalar == c; }

  bool matches(char32_t c, std::u32string_view d) {
    if (c != d[0]) return false;
    std::u32string ahead;
    while (ahead.size() + 1 < d.size()) {
      auto n = next();
      if (!n) break;
      ahead += *n;
      if (*n != d[ahead.size()]) break;
    }
    if (ahead == d.substr(1)) return true;
    pushBack(ahead);
    return false;
  }
  bool isField(char32_t c) { return matches(c, settings_.delimiters.field); }
  bool isRow(char32_t c) {
    if (rows_.size() == 1) return matches(c, rows_[0]);
    auto longest = rows_.back().size();
    if (longest == 1)
      return std::any_of(rows_.begin(), rows_.end(), [&](const auto& d) { return d[0] == c; });
    if (longest == 2) {
      for (const auto& d : rows_)
        if (d.size() == 1 && d[0] == c) return true;
      auto n = next();  // read even when no delimiter starts with `c`
      if (!n) return false;
      for (const auto& d : rows_)
        if (d.size() == 2 && d[0] == c && d[1] == *n) return true;
      pushBack(std::u32string(1, *n));
      return false;
    }
    std::u32string ahead;  // shared by all delimiters of this call
    for (const auto& d : rows_) {
      if (d[0] != c) continue;
      std::size_t i = 1;
      for (; i < d.size(); ++i) {
        if (ahead.size() < i) {
          auto n = next();
          if (!n) break;
          ahead += *n;
        }
        if (ahead[i - 1] != d[i]) break;
      }
      if (i == d.size()) return true;
    }
    pushBack(ahead);
    return false;
  }

  std::optional<Row> parseLine(std::int64_t index) {
    Row row;
    for (;;) {
      auto c = next();
      if (!c) {
        if (row.empty()) return std::nullopt;
        row.emplace_back();
        return row;
      }
      if (trimmed(*c)) continue;
      bool rowEnded;
      if (escaping(*c)) {
        rowEnded = parseEscapedField(row, index);
      } else if (isField(*c)) {
        row.emplace_back();
        continue;
      } else if (isRow(*c)) {
        row.emplace_back();
        return row;
      } else {
        rowEnded = parseUnescapedField(*c, row, index);
      }
      if (rowEnded) return row;
    }
  }

  bool parseEscapedField(Row& row, std::int64_t index) {
    std::u32string field;
    std::optional<char32_t> c;
    for (;;) {
      c = next();
      if (!c) raise(kUnterminated, kUnterminatedHelp, rowIndex(index));
      if (!escaping(*c)) {
        field += *c;
        continue;
      }
      c = next();
      if (!c || !escaping(*c)) break;
      field += *c;
    }
    while (c && trimmed(*c)) c = next();
    row.push_back(toUTF8(field));
    if (!c) return true;
    if (isField(*c)) return false;
    if (isRow(*c)) return true;
    raise(kAfterEscaped, *c == U'\r' ? kAfterEscapedCRHelp : kAfterEscapedHelp,
          rowIndex(index) + ", Field: " + row.back());
  }

  bool parseUnescapedField(char32_t first, Row& row, std::int64_t index) {
    std::u32string field(1, first);
    bool rowEnded = true;
    while (auto c = next()) {
      if (escaping(*c)) raise(kEscapeInUnescaped, kEscapeInUnescapedHelp, rowIndex(index));
      if (isField(*c)) {
        rowEnded = false;
        break;
      }
      if (isRow(*c)) break;
      field += *c;
    }
    while (!field.empty() && trimmed(field.back())) field.pop_back();
    row.push_back(toUTF8(field));
    return rowEnded;
  }

  std::optional<Row> readRow() {
    for (;;) {
      auto row = parseLine(count_);
      if (!row) return std::nullopt;
      if (row->size() == 1 && row->front().empty() && count_ != 1) continue;
      if (count_ > 0 && row->size() != fields_)
        raise(kFieldCount, kFieldCountHelp,
              rowIndex(count_ + 1) + ", Number of parsed fields: " + std::to_string(row->size()) +
                  ", Number of expected fields: " + std::to_string(fields_));
      if (count_ == 0) fields_ = row->size();
      ++count_;
      return row;
    }
  }

  ReaderSettings settings_;
  std::vector<std::u32string> rows_;  // shortest first
  std::u32string_view input_;
  std::size_t at_ = 0;
  std::optional<ErrorText> endError_;
  std::u32string pushed_;  // the pushback stack, top at the end
  std::int64_t count_ = 0;
  std::size_t fields_ = 0;
};

std::string escaped(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + '"';
}

}  // namespace

Outcome referenceRead(const ReaderConfiguration& configuration, std::u32string_view scalars,
                      const std::optional<ErrorText>& endError) {
  try {
    return Reference(configuration, scalars, endError)
        .run(configuration.headerStrategy == Strategy::Header::firstLine);
  } catch (const CSVErrorBase& error) {  // the configuration's own error
    return {{}, {}, errorText(error), ""};
  }
}

ErrorText errorText(const CSVErrorBase& error) {
  ErrorText text{error.failureReason().value_or(""), error.helpAnchor().value_or(""), ""};
  for (const auto& [key, value] : error.errorUserInfo())
    text.userInfo += (text.userInfo.empty() ? "" : ", ") + key + ": " + toString(value);
  return text;
}

Outcome productionRead(const std::function<CSVReader()>& make, const std::function<unsigned(unsigned)>& pick,
                       CSVReader::Fields* reused) {
  Outcome outcome;
  std::optional<CSVReader> reader;
  try {
    reader.emplace(make());
  } catch (const CSVErrorBase& error) {
    outcome.error = errorText(error);
    return outcome;
  }
  outcome.headers = reader->headers();
  // A record needs a lookup of the titles, which repeated titles cannot have.
  bool records = std::set(outcome.headers.begin(), outcome.headers.end()).size() == outcome.headers.size();
  CSVReader::Row row;
  CSVReader::Fields own;
  CSVReader::Fields& fields = reused ? *reused : own;
  try {
    for (;;) {
      std::optional<CSVReader::Row> next;
      switch (pick(records ? 4 : 3)) {
        case 0:
          if (reader->readRow(row)) next = row;
          break;
        case 1:
          next = reader->readRow();
          break;
        case 2:
          if (reader->readRow(fields))
            next.emplace(fields.begin(), fields.end());
          else if (!fields.empty())
            outcome.broken = "a Fields kept fields past the end";
          break;
        default:
          if (auto record = reader->readRecord()) next = record->row();
      }
      if (!next) break;
      outcome.rows.push_back(*std::move(next));
    }
    if (reader->readRow() || reader->status().kind != CSVReader::Status::Kind::finished)
      outcome.error = ErrorText{"[a finished reader went on]", "", ""};
  } catch (const CSVErrorBase& error) {
    outcome.error = errorText(error);
    try {
      (void)reader->readRow(row);
      outcome.error->reason += " [then a read succeeded]";
    } catch (const CSVErrorBase& again) {
      if (!again.isSameError(error)) outcome.error->reason += " [then another error]";
    }
  }
  return outcome;
}

std::pair<std::u32string, bool> decodeUTF8(std::string_view bytes) {
  std::u32string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto b = static_cast<unsigned char>(bytes[i]);
    std::size_t length = b < 0x80             ? 1
                         : (b & 0xE0) == 0xC0 ? 2
                         : (b & 0xF0) == 0xE0 ? 3
                         : (b & 0xF8) == 0xF0 ? 4
                                              : 0;
    if (length == 0 || i + length > bytes.size()) break;
    char32_t c = length == 1 ? b : b & (0x7F >> length);
    bool continued = true;
    for (std::size_t k = 1; k < length; ++k) {
      auto t = static_cast<unsigned char>(bytes[i + k]);
      continued = continued && (t & 0xC0) == 0x80;
      c = c << 6 | (t & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!continued || c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) break;
    out += c;
    i += length;
  }
  return {out, i == bytes.size()};
}

ErrorText invalidUTF8Text() {
  return {"Some input bytes couldn't be decoded as UTF8 characters",
          "Make sure the CSV only contains UTF8 characters or select a different encoding.", ""};
}

std::string printable(std::u32string_view scalars) {
  std::string out;
  for (char32_t c : scalars) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\u{%X}", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  auto line = [&](const Row& row) {
    out << "[";
    for (std::size_t i = 0; i < row.size(); ++i) out << (i ? ", " : "") << escaped(row[i]);
    out << "]\n";
  };
  out << "headers ";
  line(outcome.headers);
  for (const auto& row : outcome.rows) out << "row ", line(row);
  if (outcome.error)
    out << "error " << outcome.error->reason << " | " << outcome.error->help << " | "
        << outcome.error->userInfo;
  else
    out << "end";
  if (!outcome.broken.empty()) out << "\nbroken: " << outcome.broken;
  return out;
}

std::string describe(const ReaderConfiguration& c) {
  auto quoted = [](std::u32string_view scalars) { return '"' + printable(scalars) + '"'; };
  std::string out = "field " + quoted(c.delimiters.field.scalars) + ", rows {";
  for (const auto& d : c.delimiters.row.scalars) out += " " + quoted(d);
  auto escape = c.escapingStrategy.scalar();
  out += " }, escaping " + (escape ? quoted(std::u32string(1, *escape)) : "none") + ", trim {";
  for (auto [first, last] : c.trimStrategy.ranges())
    out += " " + quoted(std::u32string(1, first)) +
           (first == last ? "" : "..." + quoted(std::u32string(1, last)));
  out += " }, header ";
  out += c.headerStrategy == Strategy::Header::firstLine ? "first line" : "none";
  if (c.encoding) out += ", encoding " + std::string(name(*c.encoding));
  if (c.presample) out += ", presample";
  return out;
}

}  // namespace tamrikcsv::test
