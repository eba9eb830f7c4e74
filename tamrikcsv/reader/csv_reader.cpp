#include "tamrikcsv/reader/csv_reader.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <type_traits>

#include "tamrikcsv/reader/detail/input_source.hpp"
#include "tamrikcsv/text/detail/byte_set.hpp"
#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrikcsv {
namespace {

using ReaderError = CSVError<CSVReader>;
using Kind = ReaderError::Kind;

ReaderError unterminatedEscapedField(std::int64_t rowIndex) {
  return ReaderError(
      Kind::invalidInput,
      "The last field is escaped (with double quotes if you haven't changed the defaults) and an EOF (End "
      "of File) was encountered before the field matched at the end with the closing escaping scalar.",
      "End the targeted field with the scaping scalar (double quotes by default).",
      {{"Row index", rowIndex}});
}

ReaderError invalidAfterEscapedField(std::int64_t rowIndex, std::string field, bool carriageReturn) {
  return ReaderError(
      Kind::invalidInput,
      "The targeted field parsed successfully. However, the character right after it was not a field nor "
      "row delimiter.",
      carriageReturn ? "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy "
                       "for \"\\r\"."
                     : "There seems to be some characters after the escaping character and before the next "
                       "field or the end of the row. Please remove those.",
      {{"Row index", rowIndex}, {"Field", std::move(field)}});
}

ReaderError escapingScalarInUnescapedField(std::int64_t rowIndex) {
  return ReaderError(
      Kind::invalidInput,
      "The escaping scalar (double quotes by default) is not allowed within fields which aren't already "
      "escaped.",
      "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping "
      "scalar found within the field.",
      {{"Row index", rowIndex}});
}

ReaderError fieldCountMismatch(std::int64_t rowIndex, std::int64_t parsed, std::int64_t expected) {
  return ReaderError(
      Kind::invalidInput, "The number of fields is not constant between rows.",
      "Make sure the CSV file has always the same amount of fields per row (including the header row).",
      {{"Row index", rowIndex},
       {"Number of parsed fields", parsed},
       {"Number of expected fields", expected}});
}

CSVReader::Configuration configured(const CSVReader::Setter& setter) {
  CSVReader::Configuration configuration;
  if (setter) setter(configuration);
  return configuration;
}

inline unsigned char byte(const char* p) {
  return static_cast<unsigned char>(*p);
}

}  // namespace

// The parser works on UTF-8 bytes: the source guarantees valid UTF-8 ending on a scalar boundary, so a
// delimiter matches exactly where its UTF-8 bytes do, and runs of bytes that cannot start the escaping
// scalar or a delimiter are copied whole. Outcomes are those of reading scalar by scalar.
struct CSVReader::Impl {
  Configuration configuration;
  std::unique_ptr<detail::InputSource> source;  // before `settings`, which is validated after it was made
  Settings settings;
  const char* pos = nullptr;  // [pos, end): decoded bytes not consumed yet
  const char* end = nullptr;
  Row headers;
  std::shared_ptr<const HeaderLookup> lookup;
  Count count;
  Status status;

  std::string escape;             // the escaping scalar in UTF-8; empty when escaping is off
  std::string field;              // the field delimiter in UTF-8
  std::vector<std::string> rows;  // the row delimiters in UTF-8, fewest scalars first
  bool readsAheadOnRowMismatch;   // the matcher of mixed one- and two-scalar row delimiters does
  detail::ByteSet special;        // bytes that may start the escaping scalar or a delimiter
  bool singleBytes;               // one-byte field delimiter and escaping scalar, no trimming
  char rowByte;                   // a one-byte row delimiter, else the field delimiter
  bool fastRows;                  // rows read into `Fields` may take `takeFastFields`
  bool crlfRows;  // "\r\n" is a row delimiter and "\r" alone is not: the fast path ends rows there
  detail::ByteSet fieldBytes;    // for `takeFastFields`: the field delimiter's byte,
  detail::ByteSet otherSpecial;  // and the other special bytes
  // The last 64 bytes that `takeFastFields` scanned, and the special bytes among them the parser may not
  // have passed yet (bit k for scanBase[k]; those before `pos` are to be ignored): field delimiters and
  // others. Null when not known for the current window.
  const char* scanBase = nullptr;
  std::uint64_t scanDelimiters = 0, scanOthers = 0;

  Impl(Configuration c, std::unique_ptr<detail::InputSource> s)
      : configuration(std::move(c)), source(std::move(s)), settings(Settings::make(configuration)) {
    if (settings.escapingScalar) detail::appendUTF8(escape, *settings.escapingScalar);
    field = detail::toUTF8(settings.delimiters.field);
    std::vector<std::u32string> rowScalars(settings.delimiters.row.begin(), settings.delimiters.row.end());
    std::stable_sort(rowScalars.begin(), rowScalars.end(),
                     [](const auto& a, const auto& b) { return a.size() < b.size(); });
    for (const auto& d : rowScalars) rows.push_back(detail::toUTF8(d));
    readsAheadOnRowMismatch = rowScalars.size() > 1 && rowScalars.back().size() == 2;
    for (const auto& d : rows) special.insert(byte(d.data()));
    special.insert(byte(field.data()));
    if (!escape.empty()) special.insert(byte(escape.data()));
    singleBytes = field.size() == 1 && escape.size() <= 1 && !settings.isTrimNeeded;
    // The one-byte row delimiters start no other: one that did would have more scalars, and come later.
    auto oneByte = std::find_if(rows.begin(), rows.end(), [](const auto& d) { return d.size() == 1; });
    rowByte = oneByte != rows.end() ? (*oneByte)[0] : field[0];
    crlfRows = std::find(rows.begin(), rows.end(), "\r\n") != rows.end() &&
               std::find(rows.begin(), rows.end(), "\r") == rows.end() && field != "\r" && escape != "\r";
    // A byte comparison tells a field delimiter from a row delimiter from any other special byte, and the
    // mask of special bytes is made with a few comparisons.
    fastRows = singleBytes && (rowByte != field[0] || crlfRows) && special.size() <= 4 &&
               (escape.empty() || (escape[0] != field[0] && escape[0] != rowByte));
    fieldBytes.insert(byte(field.data()));
    for (const auto& d : rows)
      if (d[0] != field[0]) otherSpecial.insert(byte(d.data()));
    if (!escape.empty()) otherSpecial.insert(byte(escape.data()));

    if (configuration.headerStrategy == Strategy::Header::firstLine) {
      std::size_t n;
      if (!parseLine(headers, n, 0)) {
        status.kind = Status::Kind::finished;
      } else {
        count = {1, static_cast<std::int64_t>(n)};
      }
    }
  }

  // Makes at least one byte available; false at the end of the input.
  bool more() { return pos != end || refill(); }
  // Every refill goes through here: it may move the window, which the scan of special bytes is about.
  bool refill() {
    scanBase = nullptr;
    return source->refill(pos, end);
  }

  // Whether the input at `pos` (before `end`) starts with `d`, reading on as far as that takes.
  // Consumes nothing.
  bool startsWith(std::string_view d) {
    if (d.size() == 1) return *pos == d[0];
    auto have = static_cast<std::size_t>(end - pos);
    if (have >= d.size()) return std::memcmp(pos, d.data(), d.size()) == 0;
    if (std::memcmp(pos, d.data(), have) != 0) return false;
    while (have < d.size()) {
      if (!refill()) return false;
      auto now = std::min(static_cast<std::size_t>(end - pos), d.size());
      if (std::memcmp(pos + have, d.data() + have, now - have) != 0) return false;
      have = now;
    }
    return true;
  }

  // The scalar at `pos` (which is before `end`) is whole in the window, so no reading is needed.
  bool atEscape() const {
    return !escape.empty() && *pos == escape[0] &&
           (escape.size() == 1 || (static_cast<std::size_t>(end - pos) >= escape.size() &&
                                   std::memcmp(pos, escape.data(), escape.size()) == 0));
  }
  bool atTrim() const {
    return byte(pos) < 0x80 ? settings.trimCharacters.contains(byte(pos))
                            : settings.trimCharacters.contains(detail::decodeValid(pos));
  }
  std::size_t scalarLength() const { return detail::sequenceLength(byte(pos)); }

  bool matchField() {
    if (!startsWith(field)) return false;
    pos += field.size();
    return true;
  }
  bool matchRow() {
    for (const auto& d : rows)
      if (startsWith(d)) {
        pos += d.size();
        return true;
      }
    return false;
  }

  template <class Out>
  void trimTail(Out& out) const {
    if (!settings.isTrimNeeded) return;
    while (!out.empty()) {
      const char* last = detail::lastScalarStart(out.data(), out.data() + out.size());
      if (!settings.trimCharacters.contains(detail::decodeValid(last))) break;
      out.resize(static_cast<std::size_t>(last - out.data()));
    }
  }

  // The parser fills a `Row` or a `Fields` alike: it starts each field with `slot` and appends to what
  // that returns; `finish` ends the line's last field.
  [[gnu::always_inline]] static std::string& slot(Row& row, std::size_t n) {
    if (n < row.size()) {
      row[n].clear();
      return row[n];
    }
    return row.emplace_back();
  }
  static void finish(Row& row, std::size_t n) { row.resize(n); }

  // The field being parsed into a `Fields`: the tail of its buffer, from `start`. Its buffer and ends grow
  // by hand, as the string's appends and the vector's push_backs (a call each) took 40% of the
  // instructions of reading the places file.
  struct TailField {
    Fields& fields;
    std::size_t start;
    [[gnu::always_inline]] void append(const char* p, std::size_t n) {
      reserveText(fields, fields.length_ + n);
      std::memcpy(fields.text_.data() + fields.length_, p, n);
      fields.length_ += n;
    }
    void append(const std::string& s) { append(s.data(), s.size()); }
    // Appends [p, p + n) of the window that ends at `windowEnd`. Most fields are short: copying 16 bytes at
    // once where the window and the buffer have room for them, rather than calling memcpy, takes 3% off the
    // instructions of reading the places file.
    [[gnu::always_inline]] void appendFromWindow(const char* p, std::size_t n, const char* windowEnd) {
      std::string& text = fields.text_;
      if (n <= 16 && windowEnd - p >= 16 && text.size() - fields.length_ >= 16) {
        std::memcpy(text.data() + fields.length_, p, 16);
        fields.length_ += n;
      } else {
        append(p, n);
      }
    }
    const char* data() const { return fields.text_.data() + start; }
    std::size_t size() const { return fields.length_ - start; }
    bool empty() const { return fields.length_ == start; }
    void resize(std::size_t n) { fields.length_ = start + n; }
  };
  [[gnu::always_inline]] static TailField slot(Fields& fields, std::size_t n) {
    if (n == 0) {
      fields.length_ = 0;
    } else {
      endField(fields, n - 1);
      reserveText(fields, fields.length_ + 1);
      ++fields.length_;  // the byte between two fields
    }
    return {fields, fields.length_};
  }
  [[gnu::always_inline]] static void reserveText(Fields& fields, std::size_t size) {
    if (fields.text_.size() < size) fields.text_.resize(std::max(2 * fields.text_.size(), size));
  }
  static void finish(Fields& fields, std::size_t n) { endField(fields, n - 1); }
  [[gnu::always_inline]] static void endField(Fields& fields, std::size_t index) {
    reserveEnds(fields, index + 2)[index + 1] = fields.length_;
    fields.count_ = index + 1;
  }

  static void appendFromWindow(std::string& out, const char* p, std::size_t n, const char*) {
    out.append(p, n);
  }
  static void appendFromWindow(TailField out, const char* p, std::size_t n, const char* windowEnd) {
    out.appendFromWindow(p, n, windowEnd);
  }

  static std::string taken(std::string& out) { return std::move(out); }
  static std::string taken(const TailField& out) { return std::string(out.data(), out.size()); }

  // Parses one line into row[0, n), and finishes it; false when the input ended before it.
  template <class Line>
  bool parseLine(Line& row, std::size_t& n, std::int64_t rowIndex) {
    if (!parseFields(row, n, rowIndex)) return false;
    finish(row, n);
    return true;
  }

  // The common row read into a `Fields` goes from here straight to `takeFastFields`; the parsers, which
  // are called only when it stops, carry on from the field where it did.
  template <class Line>
  [[gnu::always_inline]] bool parseFields(Line& row, std::size_t& n, std::int64_t rowIndex) {
    n = 0;
    if constexpr (std::is_same_v<Line, Fields>)
      if (fastRows && takeFastFields(row, n)) return true;
    if (singleBytes) return parseLineOfSingleBytes(row, n, rowIndex);
    return parseLineOfScalars(row, n, rowIndex);
  }

  // Parses the line's fields from field n.
  template <class Line>
  [[gnu::noinline]] bool parseLineOfScalars(Line& row, std::size_t& n, std::int64_t rowIndex) {
    for (;;) {
      if (!more()) {
        if (n == 0) return false;
        slot(row, n++);  // the empty field after a trailing field delimiter
        return true;
      }
      if (settings.isTrimNeeded && atTrim()) {
        pos += scalarLength();
        continue;
      }
      if (atEscape()) {
        pos += escape.size();
        auto&& out = slot(row, n++);
        if (parseEscapedField(out, rowIndex)) return true;
        continue;
      }
      if (special.contains(*pos)) {
        if (matchField()) {
          slot(row, n++);
          continue;
        }
        if (matchRow()) {
          slot(row, n++);
          return true;
        }
      }
      auto&& out = slot(row, n++);
      if (parseUnescapedField(out, rowIndex)) return true;
    }
  }

  // The common case, parseLineOfScalars with byte comparisons: a one-byte field delimiter and escaping
  // scalar and no trimming, so that neither ever needs to read ahead.
  template <class Line>
  [[gnu::noinline]] bool parseLineOfSingleBytes(Line& row, std::size_t& n, std::int64_t rowIndex) {
    const char fieldByte = field[0];
    const char escapeByte = escape.empty() ? fieldByte : escape[0];
    for (;;) {
      if (!more()) {
        if (n == 0) return false;
        slot(row, n++);
        return true;
      }
      const char first = *pos;
      // The common field, unescaped, whole in the window and ended by the field delimiter or a one-byte
      // row delimiter (which the escaping scalar may equal, and is tested before), is copied at once: 8%
      // fewer instructions in reading the places file, 4% more rows a second.
      if (!special.contains(first)) {
        const char* p = special.find(pos + scalarLength(), end);
        if (p != end && (*p == fieldByte || *p == rowByte) && (*p != escapeByte || escape.empty())) {
          appendFromWindow(slot(row, n++), pos, static_cast<std::size_t>(p - pos), end);
          pos = p + 1;
          if (*p == fieldByte) continue;
          return true;
        }
      }
      auto&& out = slot(row, n++);
      if (first == escapeByte && !escape.empty()) {
        ++pos;
        if (parseEscapedField(out, rowIndex)) return true;
        if constexpr (std::is_same_v<Line, Fields>)
          if (fastRows && takeFastFields(row, n)) return true;
        continue;
      }
      if (first == fieldByte) {
        ++pos;
        continue;
      }
      if (special.contains(*pos) && matchRow()) return true;
      const char* start = pos;
      pos += scalarLength();
      for (;;) {
        const char* p = special.find(pos, end);
        out.append(start, static_cast<std::size_t>(p - start));
        pos = p;
        if (p == end) {
          if (!refill()) return true;
          start = pos;
          continue;
        }
        if (*p == escapeByte && !escape.empty()) throw escapingScalarInUnescapedField(rowIndex);
        if (*p == fieldByte) {
          ++pos;
          break;
        }
        if (matchRow()) return true;
        start = pos;
        pos += scalarLength();
      }
    }
  }

  // Takes the fields from `pos`, the start of field n, up to the first special byte that is not a one-byte
  // delimiter, or up to the window's last 64 bytes: in the common row, unescaped and whole in the window,
  // the whole row. Its bytes go over in one copy, delimiters and all (each stands as the byte after its
  // field), and where its fields end comes from a mask of the special bytes of 64 bytes at a time, kept
  // from row to row: the parser spends 55% fewer instructions on the places file than field by field. True
  // when the row ended; else `pos` is at the start of the next field, to be parsed field by field, and the
  // last field taken is not ended yet, as after parsing it that way.
  bool takeFastFields(Fields& fields, std::size_t& n) {
    // One version for each size of the set of other special bytes, which has 1 to 3 members.
    switch (otherSpecial.size()) {
      case 1:
        return takeFastFields<1>(fields, n);
      case 2:
        return takeFastFields<2>(fields, n);
      default:
        return takeFastFields<3>(fields, n);
    }
  }
  template <std::size_t Others>
  bool takeFastFields(Fields& fields, std::size_t& n) {
    const char* from = pos;  // the bytes from here are not in the buffer yet
    const char* base;
    std::uint64_t delimiters, others;  // field delimiters, and the other special bytes
    if (scanBase && static_cast<std::size_t>(pos - scanBase) < 64) {
      base = scanBase;
      const std::uint64_t ahead = ~std::uint64_t{0} << (pos - scanBase);
      delimiters = scanDelimiters & ahead;
      others = scanOthers & ahead;
    } else {
      if (end - pos < 64) return false;
      base = pos;
      scan<Others>(base, delimiters, others);
    }
    if (n > 0) endField(fields, n - 1);
    std::size_t offset = n == 0 ? 0 : fields.length_ + 1;  // where `from` goes in the buffer
    // Locals, and room for a block's worth of ends made once a block, keep the loop over the fields short.
    std::size_t found = n;  // fields ended so far
    std::size_t* ends = reserveEnds(fields, found + 65);
    // Copies the fields up to the delimiter at `to`.
    auto take = [&](const char* to) {
      const auto size = static_cast<std::size_t>(to - from);
      reserveText(fields, offset + size);
      std::memcpy(fields.text_.data() + offset, from, size);
      fields.length_ = offset + size;
      pos = to + 1;
    };
    for (;;) {
      // The field delimiters before the first other special byte (all of them when there is none) end
      // fields; base[k] goes to the buffer at `at` + k (modulo 2^64, as `base` may be before `from`).
      const std::uint64_t before = (others & (std::uint64_t{0} - others)) - 1;
      const std::size_t at = offset + static_cast<std::size_t>(base - from);
      for (std::uint64_t d = delimiters & before; d != 0; d &= d - 1)
        ends[++found] = at + static_cast<std::size_t>(__builtin_ctzll(d));
      if (others != 0) {
        const char* p = base + __builtin_ctzll(others);
        if (!escape.empty() && *p == escape[0] && (p == from || p[-1] == field[0]) &&
            takeEscapedField<Others>(fields, p, from, offset, base, delimiters, others)) {
          ends = reserveEnds(fields, found + 65);
          continue;
        }
        scanBase = base;
        scanDelimiters = delimiters & ~before;
        scanOthers = others & (others - 1);
        // Files saved on Windows end their rows with "\r\n". Without taking it here, each row's last field
        // went to the per-field parser, and such a file took 36% more instructions to read than with "\n"
        // (now 2% more), and 30% more time (now 8%, bench_reader's readRow/fields).
        if (*p == rowByte || (crlfRows && *p == '\r' && end - p >= 2 && p[1] == '\n')) {
          take(p);
          if (*p != rowByte) ++pos;  // past the line feed, whose bit the next call masks off
          n = found + 1;             // with the last field, which `finish` ends
          return true;
        }
        break;
      }
      if (end - base < 128) break;
      base += 64;
      scan<Others>(base, delimiters, others);
      ends = reserveEnds(fields, found + 65);
    }
    // Takes the fields found whole, if any.
    if (found > n) take(from + (ends[found] - offset));
    n = found;
    return false;
  }
  // For `takeFastFields`, the escaped field that starts at `p`, the first special byte in `others` that is
  // not a field delimiter: when its closing escaping scalar is in the window and a one-byte delimiter
  // follows it, copies the bytes from `from` up to the field, and the field's text, to the buffer from
  // `offset`, and moves `from` and `offset` past them and the block and its masks on to that delimiter.
  // Else changes nothing. Takes 6% off the instructions of reading the places file, a few fields of which
  // are escaped, against handing them to the per-field parser and coming back.
  template <std::size_t Others>
  bool takeEscapedField(Fields& fields, const char* p, const char*& from, std::size_t& offset,
                        const char*& base, std::uint64_t& delimiters, std::uint64_t& others) {
    const char escapeByte = escape[0];
    const char* block = base;
    std::uint64_t d = delimiters, o = others;
    const char* after = p + 1;  // where the field's text goes on
    // The escaping scalars in it, each written twice: a few, as more are left to the per-field parser.
    std::array<const char*, 4> doubles;
    std::size_t doubled = 0;
    const char* q;  // its closing escaping scalar
    for (;;) {
      while (o == 0) {
        if (end - block < 128) return false;
        block += 64;
        scan<Others>(block, d, o);
      }
      const char* e = block + __builtin_ctzll(o);
      o &= o - 1;
      if (e < after || *e != escapeByte) continue;
      if (end - e < 2) return false;
      if (e[1] != escapeByte) {
        q = e;
        break;
      }
      if (doubled == doubles.size()) return false;
      doubles[doubled++] = e;
      after = e + 2;
    }
    if (q[1] != field[0] && q[1] != rowByte) return false;
    if (q + 1 - block == 64) {
      if (end - block < 128) return false;
      block += 64;
      scan<Others>(block, d, o);
    }
    const std::uint64_t ahead = ~std::uint64_t{0} << (q + 1 - block);
    const auto lead = static_cast<std::size_t>(p - from);
    const std::size_t length = static_cast<std::size_t>(q - p - 1) - doubled;
    reserveText(fields, offset + lead + length + 16);  // room for `copyPiece`
    char* out = fields.text_.data() + offset;
    copyPiece(out, from, lead);
    out += lead;
    const char* r = p + 1;
    for (std::size_t k = 0; k < doubled; ++k) {
      const auto piece = static_cast<std::size_t>(doubles[k] + 1 - r);  // with one escaping scalar
      copyPiece(out, r, piece);
      out += piece;
      r = doubles[k] + 2;
    }
    copyPiece(out, r, static_cast<std::size_t>(q - r));
    from = q + 1;
    offset += lead + length;
    base = block;
    delimiters = d & ahead;
    others = o & ahead;
    return true;
  }
  // Copies [p, p + n) of the window to `out`, which has room for 16 bytes: most pieces of a row are
  // short, and take one 16-byte move where the window has room for it, rather than a call (which, with
  // the doubled escaping scalars remembered, takes 2.5% off the instructions of reading the places file).
  [[gnu::always_inline]] void copyPiece(char* out, const char* p, std::size_t n) const {
    if (n <= 16 && end - p >= 16)
      std::memcpy(out, p, 16);
    else
      std::memcpy(out, p, n);
  }
  template <std::size_t Others>
  [[gnu::always_inline]] void scan(const char* p, std::uint64_t& delimiters, std::uint64_t& others) const {
    delimiters = fieldBytes.mask64Of<1>(p);
    others = otherSpecial.mask64Of<Others>(p);
  }
  [[gnu::always_inline]] static std::size_t* reserveEnds(Fields& fields, std::size_t size) {
    if (fields.ends_.size() < size) {
      fields.ends_.resize(std::max({2 * fields.ends_.size(), size, std::size_t{16}}));
      fields.ends_[0] = ~std::size_t{0};
    }
    return fields.ends_.data();
  }

  // Parses a field after its opening escaping scalar; true when the row ended with it.
  template <class Out>
  bool parseEscapedField(Out& out, std::int64_t rowIndex) {
    const auto lead = static_cast<unsigned char>(escape[0]);
    for (;;) {
      const auto* p = static_cast<const char*>(std::memchr(pos, lead, static_cast<std::size_t>(end - pos)));
      if (!p) {
        out.append(pos, static_cast<std::size_t>(end - pos));
        pos = end;
        if (!refill()) throw unterminatedEscapedField(rowIndex);
        continue;
      }
      out.append(pos, static_cast<std::size_t>(p - pos));
      pos = p;
      if (!atEscape()) {  // another scalar with the same first byte
        out.append(pos, scalarLength());
        pos += scalarLength();
        continue;
      }
      pos += escape.size();
      if (!more()) return true;
      if (!atEscape()) break;
      out.append(escape);  // a doubled escaping scalar stands for one
      pos += escape.size();
    }
    if (settings.isTrimNeeded) {
      while (atTrim()) {
        pos += scalarLength();
        if (!more()) return true;
      }
    }
    if (matchField()) return false;
    if (matchRow()) return true;
    bool carriageReturn = *pos == '\r';
    // Such a matcher looks at the scalar after a non-delimiter too: a decoding error there comes first.
    if (readsAheadOnRowMismatch && static_cast<std::size_t>(end - pos) == scalarLength()) refill();
    throw invalidAfterEscapedField(rowIndex, taken(out), carriageReturn);
  }

  // Parses a field from its first scalar, which starts nothing else; true when the row ended with it.
  template <class Out>
  bool parseUnescapedField(Out& out, std::int64_t rowIndex) {
    const char* start = pos;
    pos += scalarLength();
    for (;;) {
      const char* p = special.find(pos, end);
      out.append(start, static_cast<std::size_t>(p - start));
      pos = p;
      if (p == end) {
        if (!refill()) break;
        start = pos;
        continue;
      }
      if (atEscape()) throw escapingScalarInUnescapedField(rowIndex);
      if (matchField()) {
        trimTail(out);
        return false;
      }
      if (matchRow()) break;
      start = pos;
      pos += scalarLength();
    }
    trimTail(out);
    return true;
  }

  template <class Line>
  bool readRow(Line& row) {
    if (status.kind == Status::Kind::finished) {
      row.clear();
      return false;
    }
    if (status.kind == Status::Kind::failed) throw *status.error;
    try {
      for (;;) {
        std::size_t n;
        if (!parseLine(row, n, count.rows)) {
          row.clear();
          status.kind = Status::Kind::finished;
          return false;
        }
        // A blank line is dropped, except right after the first row, where it is a row of one empty field.
        if (n == 1 && row[0].empty() && count.rows != 1) continue;
        auto fields = static_cast<std::int64_t>(n);
        if (count.rows > 0 && fields != count.fields)
          throw fieldCountMismatch(count.rows + 1, fields, count.fields);
        if (count.rows == 0) count.fields = fields;
        ++count.rows;
        return true;
      }
    } catch (const ReaderError& error) {
      status.kind = Status::Kind::failed;
      status.error = error;
      throw;
    }
  }
};

CSVReader::CSVReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CSVReader::CSVReader(CSVReader&&) noexcept = default;
CSVReader& CSVReader::operator=(CSVReader&&) noexcept = default;
CSVReader::~CSVReader() = default;

CSVReader CSVReader::fromText(std::string text, const Configuration& configuration) {
  return CSVReader(std::make_unique<Impl>(configuration, detail::makeTextSource(std::move(text))));
}
CSVReader CSVReader::fromText(std::string text, const Setter& setter) {
  return fromText(std::move(text), configured(setter));
}
CSVReader CSVReader::fromData(Data data, const Configuration& configuration) {
  return CSVReader(
      std::make_unique<Impl>(configuration, detail::makeDataSource(std::move(data), configuration)));
}
CSVReader CSVReader::fromData(Data data, const Setter& setter) {
  return fromData(std::move(data), configured(setter));
}
CSVReader CSVReader::fromData(std::span<const std::byte> data, const Configuration& configuration) {
  return fromData(Data(data.begin(), data.end()), configuration);
}
CSVReader CSVReader::fromData(std::span<const std::byte> data, const Setter& setter) {
  return fromData(Data(data.begin(), data.end()), configured(setter));
}
CSVReader CSVReader::fromFile(const std::filesystem::path& path, const Configuration& configuration) {
  return CSVReader(std::make_unique<Impl>(configuration, detail::makeFileSource(path, configuration)));
}
CSVReader CSVReader::fromFile(const std::filesystem::path& path, const Setter& setter) {
  return fromFile(path, configured(setter));
}
CSVReader CSVReader::fromStream(std::shared_ptr<InputStream> stream, const Configuration& configuration) {
  if (!stream) throw std::invalid_argument("CSVReader::fromStream: no stream");
  return CSVReader(
      std::make_unique<Impl>(configuration, detail::makeStreamSource(std::move(stream), configuration)));
}
CSVReader CSVReader::fromStream(std::shared_ptr<InputStream> stream, const Setter& setter) {
  return fromStream(std::move(stream), configured(setter));
}

// A moved-from reader reads nothing.
std::optional<CSVReader::Row> CSVReader::readRow() {
  Row row;
  if (impl_) row.reserve(static_cast<std::size_t>(impl_->count.fields));
  if (!readRow(row)) return std::nullopt;
  return row;
}

bool CSVReader::readRow(Row& row) {
  if (!impl_) {
    row.clear();
    return false;
  }
  return impl_->readRow(row);
}

bool CSVReader::readRow(Fields& fields) {
  if (!impl_) {
    fields.clear();
    return false;
  }
  return impl_->readRow(fields);
}

std::optional<Record> CSVReader::readRecord() {
  auto row = readRow();
  if (!row) return std::nullopt;
  if (!impl_->lookup) impl_->lookup = std::make_shared<const HeaderLookup>(impl_->headers);
  return Record(*std::move(row), impl_->lookup);
}

namespace {
const CSVReader::Configuration kNoConfiguration;
const CSVReader::Row kNoHeaders;
const CSVReader::Status kFinished{CSVReader::Status::Kind::finished, std::nullopt};
}  // namespace

const CSVReader::Configuration& CSVReader::configuration() const noexcept {
  return impl_ ? impl_->configuration : kNoConfiguration;
}
const CSVReader::Row& CSVReader::headers() const noexcept {
  return impl_ ? impl_->headers : kNoHeaders;
}
std::shared_ptr<const HeaderLookup> CSVReader::headerLookup() const noexcept {
  return impl_ ? impl_->lookup : nullptr;
}
CSVReader::Count CSVReader::count() const noexcept {
  return impl_ ? impl_->count : Count{};
}
const CSVReader::Status& CSVReader::status() const noexcept {
  return impl_ ? impl_->status : kFinished;
}
std::optional<double> CSVReader::progress() const noexcept {
  if (!impl_ || impl_->status.kind != Status::Kind::active) return 1.0;
  return impl_->source->progress(impl_->pos);
}

CSVReader::iterator& CSVReader::iterator::operator++() {
  if (reader_ && !reader_->readRow(row_)) reader_ = nullptr;
  return *this;
}

FileView CSVReader::decode(CSVReader reader) {
  HeaderLookup lookup(reader.headers());  // a repeated title fails before any row is read
  std::vector<Row> rows;
  while (auto row = reader.readRow()) rows.push_back(*std::move(row));
  return FileView(std::make_shared<const FileView::Contents>(
      FileView::Contents{reader.headers(), std::move(rows), std::move(lookup)}));
}

FileView CSVReader::decodeText(std::string text, const Configuration& configuration) {
  return decode(fromText(std::move(text), configuration));
}
FileView CSVReader::decodeText(std::string text, const Setter& setter) {
  return decode(fromText(std::move(text), setter));
}
FileView CSVReader::decodeData(Data data, const Configuration& configuration) {
  return decode(fromData(std::move(data), configuration));
}
FileView CSVReader::decodeData(Data data, const Setter& setter) {
  return decode(fromData(std::move(data), setter));
}
FileView CSVReader::decodeData(std::span<const std::byte> data, const Configuration& configuration) {
  return decode(fromData(data, configuration));
}
FileView CSVReader::decodeData(std::span<const std::byte> data, const Setter& setter) {
  return decode(fromData(data, setter));
}
FileView CSVReader::decodeFile(const std::filesystem::path& path, const Configuration& configuration) {
  return decode(fromFile(path, configuration));
}
FileView CSVReader::decodeFile(const std::filesystem::path& path, const Setter& setter) {
  return decode(fromFile(path, setter));
}
FileView CSVReader::decodeStream(std::shared_ptr<InputStream> stream, const Configuration& configuration) {
  return decode(fromStream(std::move(stream), configuration));
}
FileView CSVReader::decodeStream(std::shared_ptr<InputStream> stream, const Setter& setter) {
  return decode(fromStream(std::move(stream), setter));
}

}  // namespace tamrikcsv
