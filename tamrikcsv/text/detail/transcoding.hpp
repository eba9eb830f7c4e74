#pragma once

// Text in the encodings the library knows, turned into UTF-8: byte-order marks, chunk-by-chunk
// transcoders for ASCII and the UTF family, and whole-block conversion (through ICU for the other
// encodings). Shared by the reader, the writer and the encoder. Not part of the public interface.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "tamrikcsv/text/text_encoding.hpp"

namespace tamrikcsv::detail {

/// Raw bytes as a transcoder takes them.
using Bytes = std::span<const unsigned char>;

/// `bytes` as unsigned chars.
inline Bytes asBytes(std::span<const std::byte> bytes) noexcept {
  return {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
}

/// A byte-order mark: the encoding it names and its bytes.
struct Mark {
  TextEncoding encoding;
  std::array<unsigned char, 4> bytes;
  std::size_t size;
};

/// A configured encoding and an inferred one agree when they are equal or the configured one is the
/// unordered form of the inferred one.
bool agree(TextEncoding configured, TextEncoding inferred) noexcept;

/// The mark at the start of `head`, if any. FF FE 00 00 is a UTF-16 and a UTF-32 little-endian mark at
/// once: the one that agrees with the configured encoding is taken, else the longer.
const Mark* detectMark(Bytes head, std::optional<TextEncoding> configured) noexcept;

/// The encoding a mark names, or nothing without a mark.
inline std::optional<TextEncoding> markEncoding(const Mark* mark) noexcept {
  return mark ? std::optional(mark->encoding) : std::nullopt;
}

/// Why a transcoder stopped. The component that runs it turns this into its own error.
struct TranscodingFailure {
  enum class Kind {
    invalidUTF8,      ///< bytes that are not UTF-8, or a sequence the input's end cut
    notASCII,         ///< a byte above 0x7F in ASCII input; `byte` is that byte
    invalidUTF16,     ///< a unit that is not valid UTF-16 (an unpaired surrogate)
    incompleteUTF16,  ///< one byte of a unit left at the end
    invalidUTF32,     ///< a unit that is not a Unicode scalar
    incompleteUTF32,  ///< fewer than four bytes of a unit left at the end
    inputFailed,      ///< the input itself failed (`finish(true, ...)`) before anything else went wrong
  };
  Kind kind;
  unsigned char byte = 0;
};

/// Raw bytes of one encoding to UTF-8, chunk by chunk, keeping a cut unit for the next chunk. The first
/// invalid unit stops a transcoder; `failure` then says why, and everything before it was delivered.
class Transcoder {
 public:
  virtual ~Transcoder() = default;
  /// Appends the UTF-8 form of the whole units of `raw` (and of a unit the last chunk cut) to `out`.
  virtual void feed(Bytes raw, std::string& out) = 0;
  /// The input ended, normally or (with `inputFailed`) because it failed.
  virtual void finish(bool inputFailed, std::string& out) = 0;
  /// Why the transcoder stopped, if it did.
  std::optional<TranscodingFailure> failure;
};

/// A transcoder for ASCII or the UTF family (an unordered UTF-16 or UTF-32 taken as big-endian), or null
/// for the other encodings.
std::unique_ptr<Transcoder> makeTranscoder(TextEncoding encoding);

/// The whole block as UTF-8 in the given encoding (a leading mark of that encoding dropped), or nothing
/// when the block is not valid in it. Encodings beyond the UTF family and ASCII go through ICU.
std::optional<std::string> convertToUTF8(std::span<const std::byte> bytes, TextEncoding encoding);

}  // namespace tamrikcsv::detail
