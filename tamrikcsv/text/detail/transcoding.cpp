#include "tamrikcsv/text/detail/transcoding.hpp"

#include <unicode/ucnv.h>

#include <algorithm>
#include <vector>

#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrikcsv::detail {
namespace {

using Failure = TranscodingFailure;
using FailureKind = TranscodingFailure::Kind;

// Byte-order marks.

constexpr std::array<Mark, 5> kMarks{{
    {TextEncoding::utf8, {0xEF, 0xBB, 0xBF}, 3},
    {TextEncoding::utf16BigEndian, {0xFE, 0xFF}, 2},
    {TextEncoding::utf16LittleEndian, {0xFF, 0xFE}, 2},
    {TextEncoding::utf32BigEndian, {0x00, 0x00, 0xFE, 0xFF}, 4},
    {TextEncoding::utf32LittleEndian, {0xFF, 0xFE, 0x00, 0x00}, 4},
}};

}  // namespace

bool agree(TextEncoding configured, TextEncoding inferred) noexcept {
  if (configured == inferred) return true;
  if (configured == TextEncoding::utf16)
    return inferred == TextEncoding::utf16BigEndian || inferred == TextEncoding::utf16LittleEndian;
  if (configured == TextEncoding::utf32)
    return inferred == TextEncoding::utf32BigEndian || inferred == TextEncoding::utf32LittleEndian;
  return false;
}

const Mark* detectMark(Bytes head, std::optional<TextEncoding> configured) noexcept {
  const Mark* found = nullptr;
  for (const Mark& mark : kMarks) {
    if (head.size() < mark.size ||
        !std::equal(mark.bytes.begin(), mark.bytes.begin() + mark.size, head.begin()))
      continue;
    bool better = !found ||
                  (configured && agree(*configured, mark.encoding) && !agree(*configured, found->encoding)) ||
                  (!(configured && agree(*configured, found->encoding)) && mark.size > found->size);
    if (better) found = &mark;
  }
  return found;
}

namespace {

// Transcoders.

class UTF8Transcoder final : public Transcoder {
 public:
  void feed(Bytes raw, std::string& out) override {
    if (failure) return;
    if (!cut_.empty()) {
      // Complete the sequence the previous chunk cut.
      std::size_t need = sequenceLength(cut_[0]) - cut_.size();
      std::size_t take = std::min(need, raw.size());
      cut_.insert(cut_.end(), raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(take));
      raw = raw.subspan(take);
      UTF8Check check = checkUTF8(cut_.data(), cut_.size());
      if (check.stop == UTF8Stop::invalid) return void(failure = Failure{FailureKind::invalidUTF8});
      if (check.stop == UTF8Stop::truncated) return;
      out.append(reinterpret_cast<const char*>(cut_.data()), cut_.size());
      cut_.clear();
    }
    UTF8Check check = checkUTF8(raw.data(), raw.size());
    out.append(reinterpret_cast<const char*>(raw.data()), check.valid);
    if (check.stop == UTF8Stop::invalid) failure = Failure{FailureKind::invalidUTF8};
    if (check.stop == UTF8Stop::truncated)
      cut_.assign(raw.begin() + static_cast<std::ptrdiff_t>(check.valid), raw.end());
  }
  void finish(bool inputFailed, std::string&) override {
    if (failure) return;
    if (!cut_.empty())
      failure = Failure{FailureKind::invalidUTF8};
    else if (inputFailed)
      failure = Failure{FailureKind::inputFailed};
  }

 private:
  std::vector<unsigned char> cut_;
};

class ASCIITranscoder final : public Transcoder {
 public:
  void feed(Bytes raw, std::string& out) override {
    if (failure) return;
    auto bad = std::find_if(raw.begin(), raw.end(), [](unsigned char b) { return b >= 0x80; });
    out.append(reinterpret_cast<const char*>(raw.data()), static_cast<std::size_t>(bad - raw.begin()));
    if (bad != raw.end()) failure = Failure{FailureKind::notASCII, *bad};
  }
  void finish(bool inputFailed, std::string&) override {
    if (!failure && inputFailed) failure = Failure{FailureKind::inputFailed};
  }
};

// Writes the UTF-8 form of units into `out`, sized beforehand for the worst case and trimmed after.
class UTF8Writer {
 public:
  UTF8Writer(std::string& out, std::size_t maxBytes) : out_(out), start_(out.size()) {
    out.resize(start_ + maxBytes);
    p_ = out.data() + start_;
  }
  ~UTF8Writer() { out_.resize(static_cast<std::size_t>(p_ - out_.data())); }
  UTF8Writer(const UTF8Writer&) = delete;
  UTF8Writer& operator=(const UTF8Writer&) = delete;

  void put(char32_t c) {
    if (c < 0x80) {
      *p_++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *p_++ = static_cast<char>(0xC0 | (c >> 6));
      *p_++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *p_++ = static_cast<char>(0xE0 | (c >> 12));
      *p_++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *p_++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *p_++ = static_cast<char>(0xF0 | (c >> 18));
      *p_++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *p_++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *p_++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }

 private:
  std::string& out_;
  std::size_t start_;
  char* p_;
};

class UTF16Transcoder final : public Transcoder {
 public:
  explicit UTF16Transcoder(bool bigEndian) : bigEndian_(bigEndian) {}
  void feed(Bytes raw, std::string& out) override {
    if (failure || raw.empty()) return;
    // Three UTF-8 bytes at most for each two bytes, plus a pending surrogate pair.
    UTF8Writer writer(out, raw.size() / 2 * 3 + 8);
    std::size_t i = 0;
    if (cut_) {
      unit(unitOf(*cut_, raw[0]), writer);
      cut_.reset();
      i = 1;
    }
    for (; i + 1 < raw.size() && !failure; i += 2) unit(unitOf(raw[i], raw[i + 1]), writer);
    if (i < raw.size() && !failure) cut_ = raw[i];
  }
  void finish(bool inputFailed, std::string&) override {
    if (failure) return;
    if (high_)
      failure = Failure{FailureKind::invalidUTF16};
    else if (inputFailed)
      failure = Failure{FailureKind::inputFailed};
    else if (cut_)
      failure = Failure{FailureKind::incompleteUTF16};
  }

 private:
  char16_t unitOf(unsigned char first, unsigned char second) const {
    return bigEndian_ ? static_cast<char16_t>(first << 8 | second)
                      : static_cast<char16_t>(second << 8 | first);
  }
  void unit(char16_t u, UTF8Writer& writer) {
    if (high_) {
      if (u < 0xDC00 || u > 0xDFFF) return void(failure = Failure{FailureKind::invalidUTF16});
      writer.put(0x10000 + ((char32_t{*high_} - 0xD800) << 10) + (u - 0xDC00));
      high_.reset();
    } else if (u < 0xD800 || u > 0xDFFF) {
      writer.put(u);
    } else if (u <= 0xDBFF) {
      high_ = u;
    } else {
      failure = Failure{FailureKind::invalidUTF16};
    }
  }

  bool bigEndian_;
  std::optional<unsigned char> cut_;
  std::optional<char16_t> high_;
};

class UTF32Transcoder final : public Transcoder {
 public:
  explicit UTF32Transcoder(bool bigEndian) : bigEndian_(bigEndian) {}
  void feed(Bytes raw, std::string& out) override {
    if (failure) return;
    UTF8Writer writer(out, raw.size() + 4);
    for (unsigned char byte : raw) {
      unit_[count_++] = byte;
      if (count_ < 4) continue;
      count_ = 0;
      char32_t c =
          bigEndian_
              ? (char32_t{unit_[0]} << 24 | char32_t{unit_[1]} << 16 | char32_t{unit_[2]} << 8 | unit_[3])
              : (char32_t{unit_[3]} << 24 | char32_t{unit_[2]} << 16 | char32_t{unit_[1]} << 8 | unit_[0]);
      if (!isScalar(c)) return void(failure = Failure{FailureKind::invalidUTF32});
      writer.put(c);
    }
  }
  void finish(bool inputFailed, std::string&) override {
    if (failure) return;
    if (inputFailed)
      failure = Failure{FailureKind::inputFailed};
    else if (count_ > 0)
      failure = Failure{FailureKind::incompleteUTF32};
  }

 private:
  bool bigEndian_;
  unsigned char unit_[4] = {};
  std::size_t count_ = 0;
};

}  // namespace

std::unique_ptr<Transcoder> makeTranscoder(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::ascii:
      return std::make_unique<ASCIITranscoder>();
    case TextEncoding::utf8:
      return std::make_unique<UTF8Transcoder>();
    case TextEncoding::utf16:
    case TextEncoding::utf16BigEndian:
      return std::make_unique<UTF16Transcoder>(true);
    case TextEncoding::utf16LittleEndian:
      return std::make_unique<UTF16Transcoder>(false);
    case TextEncoding::utf32:
    case TextEncoding::utf32BigEndian:
      return std::make_unique<UTF32Transcoder>(true);
    case TextEncoding::utf32LittleEndian:
      return std::make_unique<UTF32Transcoder>(false);
    default:
      return nullptr;
  }
}

namespace {

std::string icuName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::macOSRoman:
      return "macos-0_2-10.2";
    default:
      return std::string(name(encoding));
  }
}

struct ConverterCloser {
  void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};

// Converts through ICU a block at a time, so that any size of input works in bounded extra memory.
std::optional<std::string> convertWithICU(Bytes bytes, TextEncoding encoding) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(icuName(encoding).c_str(), &status));
  if (U_FAILURE(status)) return std::nullopt;
  // Stop at the first byte sequence the encoding does not define instead of substituting it.
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  std::string out;
  out.reserve(bytes.size());
  const char* source = reinterpret_cast<const char*>(bytes.data());
  const char* sourceEnd = source + bytes.size();
  std::array<UChar, 8192> units;
  char16_t high = 0;  // the first half of a surrogate pair, perhaps cut by a block; 0 for none
  do {
    UChar* target = units.data();
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter.get(), &target, units.data() + units.size(), &source, sourceEnd, nullptr, true,
                   &status);
    if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) return std::nullopt;
    for (const UChar* u = units.data(); u != target; ++u) {
      char16_t unit = *u;
      if (high && unit >= 0xDC00 && unit <= 0xDFFF) {
        appendUTF8(out, 0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00));
        high = 0;
      } else if (high || (unit >= 0xDC00 && unit <= 0xDFFF)) {
        return std::nullopt;
      } else if (unit >= 0xD800 && unit <= 0xDBFF) {
        high = unit;
      } else {
        appendUTF8(out, unit);
      }
    }
  } while (status == U_BUFFER_OVERFLOW_ERROR);
  if (high) return std::nullopt;
  return out;
}

}  // namespace

std::optional<std::string> convertToUTF8(std::span<const std::byte> data, TextEncoding encoding) {
  Bytes bytes = asBytes(data);
  auto transcoder = makeTranscoder(encoding);
  if (!transcoder) return convertWithICU(bytes, encoding);
  // A leading mark of this encoding is not text; for unordered UTF-16 and UTF-32 it gives the order.
  const Mark* mark = detectMark(bytes.first(std::min<std::size_t>(4, bytes.size())), encoding);
  if (mark && agree(encoding, mark->encoding)) {
    bytes = bytes.subspan(mark->size);
    transcoder = makeTranscoder(mark->encoding);
  }
  std::string out;
  transcoder->feed(bytes, out);
  transcoder->finish(false, out);
  if (transcoder->failure) return std::nullopt;
  return out;
}

}  // namespace tamrikcsv::detail
