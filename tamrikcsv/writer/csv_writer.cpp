#include "tamrikcsv/writer/csv_writer.hpp"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "tamrikcsv/text/detail/byte_set.hpp"
#include "tamrikcsv/text/detail/plain_value.hpp"
#include "tamrikcsv/text/detail/transcoding.hpp"
#include "tamrikcsv/text/detail/unicode.hpp"
#include "tamrikcsv/writer/detail/number_text.hpp"

namespace tamrikcsv {
namespace {

using WriterError = CSVError<CSVWriter>;
using Kind = WriterError::Kind;

WriterError tooManyFields(std::int64_t expected) {
  return WriterError(
      Kind::invalidOperation,
      "A field cannot be added to a row that has already the expected amount of fields. All CSV rows "
      "must have the same amount of fields.",
      "Always write the same amount of fields per row.", {{"Number of expected fields per row", expected}});
}

WriterError writeFailure(const OutputStream& stream) {
  return WriterError(
      Kind::streamFailure, "The output stream encountered an error while trying to write encoded bytes",
      "Review the underlying error and make sure you have access to the output data (if it is a file)",
      {{"Stream status", stream.status()}}, stream.error());
}

WriterError notOpen(const OutputStream& stream) {
  return WriterError(Kind::streamFailure, "The output stream is not open.",
                     "Check you have priviledge to open the output stream.",
                     {{"Stream status", stream.status()}}, stream.error());
}

WriterError unsupported(TextEncoding encoding) {
  return WriterError(Kind::invalidConfiguration, "The given encoding is not yet supported by this library",
                     "Contact the library maintainer", {{"Encoding", encoding}});
}

// The byte-order mark a new output starts with.
std::string_view byteOrderMark(TextEncoding encoding, Strategy::BOM strategy) {
  if (strategy == Strategy::BOM::never) return {};
  bool always = strategy == Strategy::BOM::always;
  switch (encoding) {
    case TextEncoding::utf16:
      return {"\xFE\xFF", 2};
    case TextEncoding::utf32:
      return {"\0\0\xFE\xFF", 4};
    case TextEncoding::utf16BigEndian:
      return always ? std::string_view("\xFE\xFF", 2) : std::string_view();
    case TextEncoding::utf16LittleEndian:
      return always ? std::string_view("\xFF\xFE", 2) : std::string_view();
    case TextEncoding::utf32BigEndian:
      return always ? std::string_view("\0\0\xFE\xFF", 4) : std::string_view();
    case TextEncoding::utf32LittleEndian:
      return always ? std::string_view("\xFF\xFE\0\0", 4) : std::string_view();
    case TextEncoding::utf8:
      return always ? std::string_view("\xEF\xBB\xBF", 3) : std::string_view();
    default:
      return {};
  }
}

// Scalars to bytes in the output encoding.
class ScalarEncoder {
 public:
  enum class Form { ascii, utf8, utf16BE, utf16LE, utf32BE, utf32LE, shiftJIS };

  static std::optional<Form> formOf(TextEncoding encoding) {
    switch (encoding) {
      case TextEncoding::ascii:
        return Form::ascii;
      case TextEncoding::utf8:
        return Form::utf8;
      case TextEncoding::utf16:
      case TextEncoding::utf16BigEndian:
        return Form::utf16BE;
      case TextEncoding::utf16LittleEndian:
        return Form::utf16LE;
      case TextEncoding::utf32:
      case TextEncoding::utf32BigEndian:
        return Form::utf32BE;
      case TextEncoding::utf32LittleEndian:
        return Form::utf32LE;
      case TextEncoding::shiftJIS:
        return Form::shiftJIS;
      default:
        return std::nullopt;
    }
  }

  explicit ScalarEncoder(Form form) : form_(form) {
    if (form_ != Form::shiftJIS) return;
    UErrorCode status = U_ZERO_ERROR;
    shiftJIS_ = ucnv_open("Shift_JIS", &status);
    // Refuse what Shift-JIS cannot hold instead of writing a substitute.
    if (U_SUCCESS(status))
      ucnv_setFromUCallBack(shiftJIS_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU has no Shift-JIS converter");
  }
  ~ScalarEncoder() {
    if (shiftJIS_) ucnv_close(shiftJIS_);
  }
  ScalarEncoder(const ScalarEncoder&) = delete;
  ScalarEncoder& operator=(const ScalarEncoder&) = delete;

  bool isUTF8() const noexcept { return form_ == Form::utf8; }

  /// The scalar's bytes at `out` (room for 16): their count, or 0 when the encoding cannot hold it.
  std::size_t encode(char32_t c, char* out) {
    std::size_t n = 0;
    auto put = [&](std::uint32_t unit, int size, bool big) {
      for (int i = 0; i < size; ++i) out[n++] = static_cast<char>(unit >> (8 * (big ? size - 1 - i : i)));
    };
    switch (form_) {
      case Form::ascii:
        if (c >= 0x80) return 0;
        out[n++] = static_cast<char>(c);
        return n;
      case Form::utf8: {
        std::string bytes;
        detail::appendUTF8(bytes, c);
        std::memcpy(out, bytes.data(), bytes.size());
        return bytes.size();
      }
      case Form::utf16BE:
      case Form::utf16LE: {
        bool big = form_ == Form::utf16BE;
        if (c < 0x10000) {
          put(c, 2, big);
        } else {
          put(0xD800 + ((c - 0x10000) >> 10), 2, big);
          put(0xDC00 + ((c - 0x10000) & 0x3FF), 2, big);
        }
        return n;
      }
      case Form::utf32BE:
      case Form::utf32LE:
        put(c, 4, form_ == Form::utf32BE);
        return n;
      case Form::shiftJIS: {
        UChar units[2];
        int32_t length = c < 0x10000 ? 1 : 2;
        if (length == 1) {
          units[0] = static_cast<UChar>(c);
        } else {
          units[0] = static_cast<UChar>(0xD800 + ((c - 0x10000) >> 10));
          units[1] = static_cast<UChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
        UErrorCode status = U_ZERO_ERROR;
        ucnv_reset(shiftJIS_);
        int32_t written = ucnv_fromUChars(shiftJIS_, out, 16, units, length, &status);
        if (U_FAILURE(status) || written <= 0) return 0;
        return static_cast<std::size_t>(written);
      }
    }
    return 0;
  }

 private:
  Form form_;
  UConverter* shiftJIS_ = nullptr;
};

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Copies with a few unaligned moves, `to` having 16 bytes of room past `n`: fields are short, and a call to
// memcpy costs more than copying them.
void copyShort(char* to, const char* from, std::size_t n) noexcept {
  if (n >= 8) {
#ifdef __SSE2__
    if (n >= 16) {
      if (n > 64) return static_cast<void>(std::memcpy(to, from, n));
      for (std::size_t i = 0; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + n - 16),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n - 16)));
      return;
    }
#endif
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

// The bytes the fast path (`CSVWriter::Impl::fast`) checks fields for and writes around them, and how it
// puts a field's text at a given place in the output: the same for a field alone and for a run of fields.
struct FastBytes {
#ifdef __SSE2__
  __m128i needles[3]{};  // the field delimiter, the row delimiter and the escaping byte, in every lane
#endif
  const detail::ByteSet* special = nullptr;  // the same three bytes
  char field = ',';
  char quote = '"';

#ifdef __SSE2__
  // The lanes of `v` that hold one of the three.
  __m128i specialIn(__m128i v) const noexcept {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, needles[0]), _mm_cmpeq_epi8(v, needles[1])),
                        _mm_cmpeq_epi8(v, needles[2]));
  }
  // Whether a byte of `v` is one of the three or has its top bit set (not ASCII).
  bool needsAttention(__m128i v) const noexcept {
    return _mm_movemask_epi8(_mm_or_si128(specialIn(v), v)) != 0;
  }
#endif

  // A field's text at `out`, which has room for its bytes and 16 more, when it is ASCII without a delimiter
  // or the escaping byte, as most fields are: it goes out as it is. Returns its end; null, with nothing
  // meaningful written, for any other text.
  [[gnu::always_inline]] char* putPlain(char* out, std::string_view text) const noexcept {
    const char* p = text.data();
    const std::size_t n = text.size();
#ifdef __SSE2__
    auto load8 = [](const char* at) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)); };
    auto load16 = [](const char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    if (n >= 8 && n <= 32) {
      // Most numbers and names: read once, as two overlapping halves, for both the check and the copy.
      if (n >= 16) {
        const __m128i head = load16(p), tail = load16(p + n - 16);
        if (needsAttention(head) || needsAttention(tail)) return nullptr;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), head);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n - 16), tail);
      } else {
        const __m128i head = load8(p), tail = load8(p + n - 8);
        if (needsAttention(_mm_unpacklo_epi64(head, tail))) return nullptr;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), head);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + n - 8), tail);
      }
      return out + n;
    }
    if (n < 8) {
      // The register is filled with repeats of the bytes, so that no lane is left empty; the same words
      // are stored.
      if (n >= 4) {
        std::uint32_t head, tail;
        std::memcpy(&head, p, 4);
        std::memcpy(&tail, p + n - 4, 4);
        if (needsAttention(_mm_set_epi32(static_cast<int>(tail), static_cast<int>(head),
                                         static_cast<int>(tail), static_cast<int>(head))))
          return nullptr;
        std::memcpy(out, &head, 4);
        std::memcpy(out + n - 4, &tail, 4);
        return out + n;
      }
      if (n == 0) return out;
      const auto first = static_cast<unsigned char>(p[0]), middle = static_cast<unsigned char>(p[n / 2]),
                 last = static_cast<unsigned char>(p[n - 1]);
      if (needsAttention(_mm_set1_epi32(
              static_cast<int>(first | middle << 8 | last << 16 | static_cast<std::uint32_t>(first) << 24))))
        return nullptr;
      out[0] = p[0];
      out[n / 2] = p[n / 2];
      out[n - 1] = p[n - 1];
      return out + n;
    }
    // Whole blocks, then the last 16 bytes again, overlapping, instead of a byte loop.
    for (std::size_t i = 0; i + 16 <= n; i += 16)
      if (needsAttention(load16(p + i))) return nullptr;
    if (needsAttention(load16(p + n - 16))) return nullptr;
#else
    unsigned char high = 0;
    bool hit = false;
    for (std::size_t i = 0; i < n; ++i) {
      high |= static_cast<unsigned char>(p[i]);
      hit |= special->contains(p[i]);
    }
    if (high >= 0x80 || hit) return nullptr;
#endif
    copyShort(out, p, n);
    return out + n;
  }

  // A field's text that `putPlain` declined, at `out`, which has room for twice its bytes and 18 more:
  // enclosed in quotes, each quote doubled, when it holds one of the three; as it is otherwise. Returns its
  // end, or null for text that is not valid UTF-8 (the general path says why).
  char* putSpecial(char* out, std::string_view text) const noexcept {
    const std::size_t n = text.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
#ifdef __SSE2__
    if (n >= 8 && n <= 32) return putShortSpecial(out, text);
#endif
    if (detail::checkUTF8(bytes, n).stop != detail::UTF8Stop::complete) return nullptr;
    const char* p = text.data();
    const char* const end = p + n;
    const char* q = special->find(p, end);
    if (q == end) {  // not ASCII, but nothing to enclose
      copyShort(out, p, n);
      return out + n;
    }
    // Runs between special bytes are copied whole; the escaping byte is doubled.
    *out++ = quote;
    for (;;) {
      std::memcpy(out, p, static_cast<std::size_t>(q - p));
      out += q - p;
      if (q == end) break;
      if (*q == quote) *out++ = quote;
      *out++ = *q;
      p = q + 1;
      q = special->find(p, end);
    }
    *out++ = quote;
    return out;
  }

#ifdef __SSE2__
  // `putSpecial` for 8 to 32 bytes, read as two overlapping halves. The bytes that need attention are found
  // in those reads, bit i for byte i, rather than by reading the text again: most such fields hold one or
  // two letters that are not ASCII, or a quote or a comma.
  char* putShortSpecial(char* out, std::string_view text) const noexcept {
    const std::size_t n = text.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t half = n >= 16 ? 16 : 8;
    const std::uint32_t lanes = (std::uint32_t{1} << half) - 1;  // the loaded bytes, no padding
    auto load = [half](const char* at) {
      return half == 16 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(at))
                        : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
    };
    const __m128i head = load(text.data()), tail = load(text.data() + n - half);
    auto specials = [&](__m128i v) {
      return static_cast<std::uint32_t>(_mm_movemask_epi8(specialIn(v))) & lanes;
    };
    auto high = [&](__m128i v) { return static_cast<std::uint32_t>(_mm_movemask_epi8(v)) & lanes; };
    const std::uint32_t found = specials(head) | specials(tail) << (n - half);
    // Each byte that is not ASCII is a whole valid scalar's first byte, or the scalar before covers it.
    for (std::uint32_t rest = high(head) | high(tail) << (n - half); rest != 0;) {
      const auto at = static_cast<std::size_t>(__builtin_ctz(rest));
      const int length = detail::scalarLength(bytes + at, n - at);
      if (length <= 0) return nullptr;
      const std::size_t end = at + static_cast<std::size_t>(length);
      rest = end >= 32 ? 0 : rest & ~std::uint32_t{0} << end;
    }
    if (found == 0) {
      copyShort(out, text.data(), n);
      return out + n;
    }
    *out++ = quote;
    std::size_t from = 0;
    auto copyTo = [&](std::size_t to) {  // the bytes from `from` up to `to`, at most the 32 of the field
      const std::size_t count = std::min<std::size_t>(to - from, 32);
      copyShort(out, text.data() + from, count);
      out += count;
    };
    for (std::uint32_t rest = found; rest != 0; rest &= rest - 1) {
      const auto at = static_cast<std::size_t>(__builtin_ctz(rest));
      copyTo(at);
      if (text[at] == quote) *out++ = quote;
      *out++ = text[at];
      from = at + 1;
    }
    copyTo(n);
    *out++ = quote;
    return out;
  }
#endif
};

// Bytes waiting for the stream. Fields append a few bytes each, so a block whose room is checked once per
// field beats a string's bookkeeping.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(ByteBuffer&& other) noexcept { swap(other); }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    swap(other);
    return *this;
  }

  const char* data() const noexcept { return data_.get(); }
  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return size_ == 0; }
  void clear() noexcept { size_ = 0; }
  void swap(ByteBuffer& other) noexcept {
    data_.swap(other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  /// Room for `n` more bytes: where they go, to be followed by `commit`.
  char* room(std::size_t n) {
    if (capacity_ - size_ < n) grow(n);
    return data_.get() + size_;
  }
  /// Takes the bytes written from `room(...)` up to `end`.
  void commit(const char* end) noexcept { size_ = static_cast<std::size_t>(end - data_.get()); }

  void append(std::string_view text) {
    char* at = room(text.size());
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    size_ += text.size();
  }
  void push_back(char c) { *room(1) = c, ++size_; }
  /// As a string's resize: new bytes are zero.
  void resize(std::size_t n) {
    if (n > size_) std::memset(room(n - size_), 0, n - size_);
    size_ = n;
  }

 private:
  void grow(std::size_t n) {
    const std::size_t capacity = std::max({size_ + n, 2 * capacity_, std::size_t{256}});
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0, capacity_ = 0;
};

}  // namespace

// Fields are UTF-8, and so are the delimiters and the escaping scalar here: UTF-8 is self-synchronising, so
// a delimiter occurs in a field exactly where its bytes do. Each operation encodes into `pending` first. For
// the writer's own streams (memory, file) the bytes go out in blocks of 64 KiB and at the end; a caller's
// stream gets each operation's bytes as soon as the operation is done. One write procedure per hand-over.
struct CSVWriter::Impl : Counts {
  Configuration configuration;
  Settings settings;
  std::shared_ptr<OutputStream> stream;
  MemoryOutputStream* memory = nullptr;  // the stream, when the writer writes into memory
  bool batched;                          // the stream is the writer's own
  std::unique_ptr<ScalarEncoder> encoder;
  std::string field, row, escape;       // UTF-8
  detail::ByteSet special;              // first bytes of the escaping scalar and the delimiters
  ByteBuffer pending;                   // encoded bytes not yet handed to the stream
  std::string scratch;                  // a field's text with its escaping scalars doubled
  std::vector<std::string_view> views;  // the fields of the current writeFields or writeRow
  bool direct = false;                  // UTF-8 output: field texts go out as they are
  bool singleByte = false;              // the delimiters and the escaping scalar are one byte each
  bool fast = false;                    // `direct` and `singleByte`: fields take `writeFastField`
  bool closedHere = false;              // the writer closed its own stream, which nobody else can close
  bool fastOpen = false;                // `fast`, into the writer's own stream, not closed yet
  bool plainNumbers = false;            // no delimiter or escaping byte can occur in a number's text
  std::int64_t expectedEnd = 0;         // the row index the caller expects writing to end at
  FastBytes fastBytes;                  // for `singleByte`

  Impl(Configuration c, Settings s, std::shared_ptr<OutputStream> out, bool own)
      : configuration(std::move(c)), settings(std::move(s)), stream(std::move(out)), batched(own) {}

  // Hands bytes to the stream, advancing by what each call accepts; one call that accepts nothing is
  // tolerated per batch.
  void writeBytes(const char* bytes, std::size_t length) {
    bool acceptedNothing = false;
    while (length > 0) {
      std::ptrdiff_t n = stream->write(reinterpret_cast<const std::byte*>(bytes), length);
      if (n < 0) throw writeFailure(*stream);
      if (n == 0) {
        if (acceptedNothing)
          throw WriterError(Kind::streamFailure,
                            "Several attempts were made to write on the stream, but they were unsuccessful.",
                            "Review the underlying error (if any) and try again.",
                            {{"Stream status", stream->status()}, {"Attempts", std::int64_t{2}}},
                            stream->error());
        acceptedNothing = true;
        continue;
      }
      auto accepted = std::min(static_cast<std::size_t>(n), length);
      bytes += accepted;
      length -= accepted;
    }
  }
  // The writer's own streams gather bytes themselves; handing them over per field only costs calls.
  void flushIfDue() {
    if (!batched || pending.size() >= 64 * 1024) flush();
  }
  [[gnu::noinline]] void flush() {
    if (pending.empty()) return;
    ByteBuffer batch;
    batch.swap(pending);  // emptied even when the stream fails
    if (memory && expectedEnd > rowIndex) growMemory(batch.size());
    writeBytes(batch.data(), batch.size());
    batch.clear();
    if (pending.capacity() < batch.capacity()) pending.swap(batch);
  }

  // When a batch doesn't fit the memory output, grows it to what the expected rows take at the length of
  // the rows so far, and a quarter more for longer rows ahead: what was written is copied once instead of
  // at every doubling, and room never written costs address space only. A step is at most 64 times what
  // is written, so that long first rows or a wild hint ask for a bounded multiple of the output at most;
  // `endEncoding` gives back room far beyond it. Doubling goes on when the estimate is no larger.
  void growMemory(std::size_t batchSize) {
    constexpr std::int64_t kSampleRows = 1024;
    const Data& data = memory->data();
    const std::size_t needed = data.size() + batchSize;
    if (needed <= data.capacity() || rowIndex < kSampleRows) return;
    const double expected = std::min(
        static_cast<double>(needed) / static_cast<double>(rowIndex) * static_cast<double>(expectedEnd) * 1.25,
        64.0 * static_cast<double>(needed));
    if (expected < 2.0 * static_cast<double>(needed)) return;
    try {
      memory->reserve(static_cast<std::size_t>(expected));
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  }

  // Encodes valid UTF-8 text into the output.
  void emit(std::string_view text) {
    if (direct) {
      pending.append(text);
      return;
    }
    for (const char* p = text.data(); p != text.data() + text.size();
         p += detail::sequenceLength(static_cast<unsigned char>(*p))) {
      char32_t c = detail::decodeValid(p);
      const std::size_t n = encoder->encode(c, pending.room(16));
      if (n == 0) throw unencodable(c);
      pending.commit(pending.data() + pending.size() + n);
    }
  }
  WriterError unencodable(char32_t c) const {
    if (settings.encoding == TextEncoding::ascii)
      return WriterError(
          Kind::invalidInput, "The Unicode Scalar is not an ASCII character.",
          "Make sure the CSV only contains ASCII characters or select a different encoding (e.g. UTF8).",
          {{"Unicode scalar", c}});
    return WriterError(Kind::invalidInput, "The Unicode Scalar couldn't be encoded to multibyte Shift-JIS",
                       "Make sure the CSV only contains Shift-JIS characters.", {{"Unicode scalar", c}});
  }

  // A field into UTF-8 output with one-byte delimiters (`fast`). The field is checked whole before it
  // counts, and nothing can fail after, so it needs no rollback mark. False, with nothing written, for a
  // field that fails (the general path reports why).
  [[gnu::always_inline]] bool writeFastField(std::string_view text) {
    const FastBytes& bytes = fastBytes;
    char* out = pending.room(text.size() + 17);
    *out = bytes.field;
    out += fieldIndex > 0;
    char* end = bytes.putPlain(out, text);
    if (!end) [[unlikely]]
      return writeFastSpecialField(text);
    return fastFieldWritten(end);
  }
  // The rest of `writeFastField`: text that is not ASCII or holds a delimiter or the escaping byte.
  [[gnu::noinline]] bool writeFastSpecialField(std::string_view text) {
    // At worst every byte is the escaping one, doubled; the quotes, the delimiter and room for whole-word
    // copies come on top.
    char* out = pending.room(2 * text.size() + 19);
    *out = field[0];
    out += fieldIndex > 0;
    char* end = fastBytes.putSpecial(out, text);
    return end && fastFieldWritten(end);
  }
  // A number's field, its text written by `format(out)` at `out` (room for 64 bytes), which returns its
  // end or null to decline. Only on the fast path, and only where `plainNumbers` says that nothing in a
  // number's text needs escaping.
  template <class Format>
  [[gnu::always_inline]] bool writeNumberField(const Format& format) {
    if (!fastOpen || !plainNumbers || (fieldIndex >= expectedFields && expectedFields > 0)) return false;
    char* out = pending.room(65);
    *out = field[0];
    out += fieldIndex > 0;
    char* end = format(out);
    if (!end || !fastFieldWritten(end)) return false;
    flushIfDue();
    return true;
  }
  // Ends a field of the fast path whose bytes run up to `end` in `pending`; the caller hands the block over
  // when it is due.
  [[gnu::always_inline]] bool fastFieldWritten(char* end) {
    pending.commit(end);
    ++fieldIndex;
    return true;
  }

  // Where the fast path writes the next bytes of a run of fields, and the end of the room made for them.
  struct Room {
    char* out;
    char* limit;
  };
  // The room after the bytes in `pending`.
  Room roomLeft() {
    char* at = pending.room(0);
    return {at, at + (pending.capacity() - pending.size())};
  }
  // Room for `n` more bytes after `out`, up to which the bytes in `pending` are kept.
  [[gnu::noinline]] Room moreRoom(char* out, std::size_t n) {
    pending.commit(out);
    pending.room(n);
    return roomLeft();
  }

  // Fields in one go on the fast path (`CSVWriter::writeFastFields`): the row's end as `endRowQuickly`
  // writes it, then each field as `writeFastField` and `writeNumberField` write it, the row's bookkeeping
  // done once and the block handed over once at the end, so that a field that fails takes back everything
  // before it.
  bool writeFastFields(const detail::PlainValue* values, std::size_t count, bool endsRowFirst) {
    using ValueKind = detail::PlainValue::Kind;
    if (!fastOpen) return false;
    const std::size_t mark = pending.size();
    const std::int64_t rows = rowIndex, fields = fieldIndex;
    auto takeBack = [&] {
      pending.resize(mark);
      rowIndex = rows;
      fieldIndex = fields;
      return false;
    };
    if (endsRowFirst && !endRowQuickly()) return false;
    const std::int64_t first = fieldIndex;
    if (expectedFields > 0 && first + static_cast<std::int64_t>(count) > expectedFields) return takeBack();
    const FastBytes& bytes = fastBytes;
    const bool numbers = plainNumbers;
    bool separated = first > 0;
    Room room = roomLeft();
    for (const detail::PlainValue* value = values; value != values + count; ++value) {
      // The delimiter, and a text with 16 bytes for whole-word copies or a number's 64.
      const std::size_t most = 1 + (value->kind == ValueKind::text ? value->text.size() + 16 : 64);
      if (static_cast<std::size_t>(room.limit - room.out) < most) [[unlikely]]
        room = moreRoom(room.out, most);
      char* const start = room.out;
      *start = bytes.field;
      char* const out = start + separated;
      separated = true;
      char* end = nullptr;
      switch (value->kind) {
        case ValueKind::text:
          end = bytes.putPlain(out, value->text);
          if (!end) [[unlikely]] {
            // The field's own path, then on from where it ends.
            pending.commit(start);
            fieldIndex = first + (value - values);
            if (!writeFastSpecialField(value->text)) return takeBack();
            room = roomLeft();
            continue;
          }
          break;
        case ValueKind::signedInteger:
          if (numbers) end = detail::writeInteger(out, value->signedInteger);
          break;
        case ValueKind::unsignedInteger:
          if (numbers) end = detail::writeInteger(out, value->unsignedInteger);
          break;
        case ValueKind::real:
          if (numbers) end = detail::writePlainDouble(out, value->real);
          break;
        case ValueKind::absent:
          break;
      }
      if (!end) [[unlikely]]
        return takeBack();
      room.out = end;
    }
    pending.commit(room.out);
    fieldIndex = first + static_cast<std::int64_t>(count);
    flushIfDue();
    return true;
  }

  static bool startsWith(std::string_view text, std::size_t at, std::string_view part) {
    return text.compare(at, part.size(), part) == 0;
  }

  // A field's text: enclosed in the escaping scalar exactly when it holds that scalar or a delimiter.
  void writeText(std::string_view text) {
    if (text.empty()) return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    // Short fields, most of them, are checked in one pass: ASCII with no special byte goes out as it is.
    bool highOrSpecial = true;
    if (text.size() < 32) {
      unsigned char high = 0;
      bool hit = false;
      for (std::size_t i = 0; i < text.size(); ++i) {
        high |= bytes[i];
        hit |= special.contains(static_cast<char>(bytes[i]));
      }
      if (high < 0x80 && !hit && !escape.empty()) return emit(text);
      highOrSpecial = high >= 0x80;
    }
    if (highOrSpecial && detail::checkUTF8(bytes, text.size()).stop != detail::UTF8Stop::complete)
      throw WriterError(Kind::invalidInput, "The field is not valid UTF-8 text.",
                        "Make sure every field is UTF-8 encoded text.", {{"Field index", fieldIndex}});
    if (escape.empty()) {
      if (contains(text, field) || contains(text, row))
        throw WriterError(
            Kind::invalidInput, "A field cannot include a delimiter if escaping strategy is disabled.",
            "Remove delimiter from field or set an escaping strategy.", {{"Field", std::string(text)}});
      return emit(text);
    }
    if (special.find(text.data(), text.data() + text.size()) == text.data() + text.size()) return emit(text);
    scratch.clear();
    bool enclose = false;
    if (singleByte) {
      // Runs between special bytes are copied whole; each special byte encloses, the escaping one doubled.
      const char* p = text.data();
      const char* end = p + text.size();
      while (p != end) {
        const char* q = special.find(p, end);
        scratch.append(p, q);
        if (q == end) break;
        enclose = true;
        if (*q == escape[0]) scratch += *q;
        scratch += *q;
        p = q + 1;
      }
    } else {
      for (std::size_t i = 0; i < text.size();) {
        if (startsWith(text, i, escape)) {
          scratch.append(escape).append(escape);
          i += escape.size();
          enclose = true;
        } else if (startsWith(text, i, field)) {
          scratch.append(field);
          i += field.size();
          enclose = true;
        } else if (startsWith(text, i, row)) {
          scratch.append(row);
          i += row.size();
          enclose = true;
        } else {
          std::size_t length = detail::sequenceLength(bytes[i]);
          scratch.append(text.substr(i, length));
          i += length;
        }
      }
    }
    if (enclose) emit(escape);
    emit(scratch);
    if (enclose) emit(escape);
  }

  void writeField(std::string_view text) {
    if (fieldIndex > 0) emit(field);
    writeText(text);
    ++fieldIndex;
  }

  // `writeField` for any writer and field, out of line so that the quick path saves fewer registers.
  [[gnu::noinline]] void writeFieldWhole(std::string_view text) {
    operation([&] { writeField(text); });
  }

  // `finishRow` for a row with fields, of a known width, of a `fast` writer of its own stream, when the block
  // is not due to go out: a byte for each field that pads the row and one that ends it, and nothing that
  // can fail. False, with nothing done, otherwise.
  bool endRowQuickly() {
    const std::int64_t padding = expectedFields - fieldIndex;
    if (!fast || !batched || closedHere || fieldIndex == 0 || padding < 0 ||
        pending.size() + static_cast<std::size_t>(padding) + 1 >= 64 * 1024)
      return false;
    char* out = pending.room(static_cast<std::size_t>(padding) + 1);
    for (std::int64_t i = 0; i < padding; ++i) *out++ = field[0];  // mostly none or one: no call
    *out++ = row[0];
    pending.commit(out);
    ++rowIndex;
    fieldIndex = 0;
    return true;
  }

  // Pads the row to its fields and writes the row delimiter.
  void finishRow() {
    if (expectedFields == 0) expectedFields = fieldIndex;
    while (fieldIndex < expectedFields) {
      emit(field);
      ++fieldIndex;
    }
    emit(row);
    flushIfDue();
    ++rowIndex;
    fieldIndex = 0;
  }

  void writeEmptyRow() {
    if (expectedFields == 0)
      throw WriterError(
          Kind::invalidOperation,
          "An empty row cannot be writen if the number of fields hold by the CSV file is unkwnown.",
          "Write a headers row or a row with content before writing an empty row.");
    for (std::int64_t i = 1; i < expectedFields; ++i) emit(field);
    emit(row);
    flushIfDue();
    ++rowIndex;
    fieldIndex = 0;
  }

  // Runs an operation whole or not at all: one that cannot finish (a field that cannot be encoded, say)
  // takes back its bytes and counts, so that the output stays well-formed and writing can go on. Only a
  // failing stream can leave part of an operation written.
  template <class F>
  void operation(F&& f) {
    if (stream->status() == StreamStatus::closed) throw writeFailure(*stream);
    const std::size_t mark = pending.size();
    const std::int64_t rows = rowIndex, fields = fieldIndex, expected = expectedFields;
    try {
      f();
    } catch (const WriterError&) {
      pending.resize(mark);
      rowIndex = rows, fieldIndex = fields, expectedFields = expected;
      throw;
    }
    flushIfDue();
  }
};

CSVWriter::CSVWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)), counts_(impl_.get()) {}
CSVWriter::CSVWriter(CSVWriter&&) noexcept = default;
CSVWriter& CSVWriter::operator=(CSVWriter&& other) noexcept {
  if (this != &other) {
    CSVWriter dropped(std::move(*this));
    impl_ = std::move(other.impl_);
    counts_ = other.counts_;
  }
  return *this;
}

CSVWriter::~CSVWriter() {
  if (!impl_ || impl_->stream->status() != StreamStatus::open) return;
  try {
    if (impl_->fieldIndex > 0) impl_->finishRow();
    impl_->flush();
  } catch (...) {
  }
  impl_->stream->close();
}

CSVWriter::Configuration CSVWriter::configured(const Setter& setter) {
  Configuration configuration;
  if (setter) setter(configuration);
  return configuration;
}

CSVWriter CSVWriter::toMemory(const Configuration& configuration) {
  auto memory = std::make_shared<MemoryOutputStream>();
  auto* raw = memory.get();
  return create(configuration, std::move(memory), raw, true, false);
}
CSVWriter CSVWriter::toMemory(const Setter& setter) {
  return toMemory(configured(setter));
}

CSVWriter CSVWriter::toFile(const std::filesystem::path& path, const Configuration& configuration,
                            FileMode mode) {
  if (path.empty())
    throw WriterError(Kind::streamFailure, "The output stream couldn't be initialized with the given URL.",
                      "Make sure you have access to the targeted file.", {{"File URL", path}});
  bool append = mode == FileMode::append;
  return create(configuration, std::make_shared<FileOutputStream>(path, append), nullptr, true, append);
}
CSVWriter CSVWriter::toFile(const std::filesystem::path& path, const Setter& setter, FileMode mode) {
  return toFile(path, configured(setter), mode);
}

CSVWriter CSVWriter::toStream(std::shared_ptr<OutputStream> stream, const Configuration& configuration) {
  if (!stream) throw std::invalid_argument("CSVWriter::toStream: no stream");
  return create(configuration, std::move(stream), nullptr, false, false);
}
CSVWriter CSVWriter::toStream(std::shared_ptr<OutputStream> stream, const Setter& setter) {
  return toStream(std::move(stream), configured(setter));
}

// Creation checks everything it can before the stream is opened, so that a writer that cannot be made
// leaves an existing file as it was.
CSVWriter CSVWriter::create(const Configuration& configuration, std::shared_ptr<OutputStream> stream,
                            MemoryOutputStream* memory, bool ownStream, bool appending) {
  auto settings = Settings::make(configuration);
  auto form = ScalarEncoder::formOf(settings.encoding);
  if (!form) throw unsupported(settings.encoding);
  auto impl = std::make_unique<Impl>(configuration, std::move(settings), std::move(stream), ownStream);
  impl->memory = memory;
  const Settings& s = impl->settings;
  impl->field = detail::toUTF8(s.delimiters.field);
  impl->row = detail::toUTF8(s.delimiters.row);
  if (s.escapingScalar) detail::appendUTF8(impl->escape, *s.escapingScalar);
  for (const std::string* part : {&impl->field, &impl->row, &impl->escape})
    if (!part->empty()) impl->special.insert(static_cast<unsigned char>((*part)[0]));
  impl->encoder = std::make_unique<ScalarEncoder>(*form);
  impl->direct = impl->encoder->isUTF8();
  impl->singleByte = impl->field.size() == 1 && impl->row.size() == 1 && impl->escape.size() == 1;
  impl->fast = impl->direct && impl->singleByte;
  impl->fastOpen = impl->fast && impl->batched;
  // The bytes of an integer's or a plain double's text: digits, a minus sign and a point.
  impl->plainNumbers = std::ranges::none_of(std::string_view("0123456789-."),
                                            [&](char c) { return impl->special.contains(c); });
  impl->fastBytes.special = &impl->special;
  if (impl->singleByte) {
    impl->fastBytes.field = impl->field[0];
    impl->fastBytes.quote = impl->escape[0];
#ifdef __SSE2__
    impl->fastBytes.needles[0] = _mm_set1_epi8(impl->field[0]);
    impl->fastBytes.needles[1] = _mm_set1_epi8(impl->row[0]);
    impl->fastBytes.needles[2] = _mm_set1_epi8(impl->escape[0]);
#endif
  }

  OutputStream& out = *impl->stream;
  out.open();
  if (out.status() != StreamStatus::open) throw notOpen(out);
  try {
    impl->operation([&] {
      if (!appending) impl->pending.append(byteOrderMark(s.encoding, configuration.bomStrategy));
      impl->flush();
      if (!s.headers.empty()) {
        for (const auto& header : s.headers) impl->writeField(header);
        impl->finishRow();
        impl->rowIndex = 0;  // counts data rows only
      }
    });
  } catch (...) {
    out.close();
    throw;
  }
  return CSVWriter(std::move(impl));
}

[[noreturn, gnu::noinline]] static void throwMovedFrom() {
  throw std::logic_error("CSVWriter: use of a moved-from writer");
}

// Inline: every field goes through it.
inline CSVWriter::Impl& CSVWriter::impl() const {
  if (!impl_) [[unlikely]]
    throwMovedFrom();
  return *impl_;
}

void CSVWriter::writeField(std::string_view field) {
  Impl& w = impl();
  if (w.fieldIndex >= w.expectedFields && w.expectedFields > 0) throw tooManyFields(w.expectedFields);
  if (w.fastOpen && w.writeFastField(field)) return w.flushIfDue();
  w.writeFieldWhole(field);
}

bool CSVWriter::writeNumberField(std::int64_t value) {
  return impl().writeNumberField([value](char* out) { return detail::writeInteger(out, value); });
}
bool CSVWriter::writeNumberField(std::uint64_t value) {
  return impl().writeNumberField([value](char* out) { return detail::writeInteger(out, value); });
}
bool CSVWriter::writeNumberField(double value) {
  return impl().writeNumberField([value](char* out) { return detail::writePlainDouble(out, value); });
}
bool CSVWriter::writeFastFields(const detail::PlainValue* values, std::size_t count, bool endsRowFirst) {
  return impl().writeFastFields(values, count, endsRowFirst);
}

std::vector<std::string_view>& CSVWriter::fieldViews() {
  return impl().views;
}

void CSVWriter::writeFieldList(const std::vector<std::string_view>& fields, bool endsRow) {
  Impl& w = impl();
  auto count = static_cast<std::int64_t>(fields.size());
  if (w.expectedFields > 0 && w.fieldIndex + count > w.expectedFields) throw tooManyFields(w.expectedFields);
  w.operation([&] {
    for (std::string_view field : fields) w.writeField(field);
    if (endsRow) w.fieldIndex == 0 ? w.writeEmptyRow() : w.finishRow();
  });
}

void CSVWriter::endRow() {
  Impl& w = impl();
  if (w.endRowQuickly()) return;
  w.operation([&] { w.fieldIndex == 0 ? w.writeEmptyRow() : w.finishRow(); });
}

void CSVWriter::writeEmptyRow() {
  Impl& w = impl();
  // Within a row it would make a row of too many fields.
  if (w.fieldIndex > 0)
    throw WriterError(Kind::invalidOperation, "An empty row cannot be written while a row has fields.",
                      "End the current row with endRow() before writing an empty row.",
                      {{"Number of fields in the row", w.fieldIndex}});
  w.operation([&] { w.writeEmptyRow(); });
}

void CSVWriter::endEncoding() {
  Impl& w = impl();
  if (w.stream->status() == StreamStatus::closed) return;
  w.operation([&] {
    if (w.fieldIndex > 0) w.finishRow();
    w.flush();
  });
  w.stream->close();
  w.closedHere = true;
  w.fastOpen = false;
  // Doubling never leaves more than half the room empty: only an estimate that overshot does.
  if (w.memory && w.memory->data().capacity() / 2 > w.memory->data().size()) w.memory->shrinkToFit();
  // A stream that could not finish (a file whose last block failed to go out) must not pass for written.
  if (w.stream->status() == StreamStatus::error) throw writeFailure(*w.stream);
}

const Data& CSVWriter::data() const {
  Impl& w = impl();
  if (w.stream->status() != StreamStatus::closed)
    throw WriterError(
        Kind::invalidOperation, "The memory stream must be closed before the data can be accessed.",
        "Call endEncoding() before accessing the data. Also remember, that only Data and String "
        "initializers can access memory data.",
        {{"Stream status", w.stream->status()}}, w.stream->error());
  if (!w.memory)
    throw WriterError(
        Kind::streamFailure, "The stream failed to returned the encoded data.",
        "Call endEncoding() before accessing the data. Also remember, that only Data and String "
        "initializers can access memory data.",
        {}, w.stream->error());
  return w.memory->data();
}

void CSVWriter::expectRows(std::int64_t rows) {
  if (!impl_ || rows <= 0) return;
  const std::int64_t written = impl_->rowIndex;
  impl_->expectedEnd = rows > std::numeric_limits<std::int64_t>::max() - written
                           ? std::numeric_limits<std::int64_t>::max()
                           : written + rows;
}

Data CSVWriter::takeData() {
  data();  // the same checks
  return impl_->memory->take();
}

std::string CSVWriter::toText(const Data& data, TextEncoding encoding) {
  auto text = detail::convertToUTF8(data, encoding);
  if (!text)
    throw WriterError(Kind::invalidInput, "The encoded data couldn't be read back as text.",
                      "Write into a byte block instead.", {{"Encoding", encoding}});
  return *std::move(text);
}

const CSVWriter::Configuration& CSVWriter::configuration() const noexcept {
  static const Configuration none;
  return impl_ ? impl_->configuration : none;
}
const CSVWriter::Settings& CSVWriter::settings() const noexcept {
  static const Settings none;
  return impl_ ? impl_->settings : none;
}

}  // namespace tamrikcsv
