#include <uriparser/Uri.h>

#include "tamrikcsv/coding/values.hpp"

namespace tamrikcsv {

namespace {

// A reference parsed by uriparser; its ranges point into the text it was parsed from.
class ParsedURI {
 public:
  explicit ParsedURI(std::string_view text) {
    const char* errorPosition = nullptr;
    // The explicit end keeps a NUL byte inside the text from cutting it short: uriparser refuses the NUL.
    parsed_ = !text.empty() && uriParseSingleUriExA(&uri_, text.data(), text.data() + text.size(),
                                                    &errorPosition) == URI_SUCCESS;
  }
  ~ParsedURI() {
    if (parsed_) uriFreeUriMembersA(&uri_);
  }
  ParsedURI(const ParsedURI&) = delete;
  ParsedURI& operator=(const ParsedURI&) = delete;

  explicit operator bool() const noexcept { return parsed_; }
  const UriUriA& operator*() const noexcept { return uri_; }

 private:
  UriUriA uri_{};
  bool parsed_ = false;
};

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  // uriparser's grammar already refuses spaces, control characters, bytes beyond ASCII and a "%" without
  // two hex digits after it; the empty text is a valid relative reference to it, but no URL for a field.
  if (!ParsedURI(text)) return std::nullopt;
  return URL(std::string(text));
}

// The path as RFC 3986 delimits it: after the authority, before "?" or "#". So "mailto:x@y" has the path
// "x@y" and "http://host" has none. uriparser keeps the segments without their "/" separators and flags a
// leading "/" only when there is no authority; after an authority a non-empty path always starts with "/".
std::string URL::path() const {
  const ParsedURI parsed(text_);
  if (!parsed) return {};
  const UriUriA& uri = *parsed;
  std::string result;
  const bool hasAuthority = uri.hostText.first != nullptr;
  if (uri.absolutePath || (hasAuthority && uri.pathHead != nullptr)) result += '/';
  for (const UriPathSegmentA* segment = uri.pathHead; segment != nullptr; segment = segment->next) {
    if (segment != uri.pathHead) result += '/';
    result.append(segment->text.first, segment->text.afterLast);
  }
  return result;
}

}  // namespace tamrikcsv
