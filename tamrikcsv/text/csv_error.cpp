#include "tamrikcsv/text/csv_error.hpp"

#include <cstdio>

#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrikcsv {

std::string_view name(StreamStatus status) noexcept {
  switch (status) {
    case StreamStatus::notOpen:
      return "not open";
    case StreamStatus::open:
      return "open";
    case StreamStatus::atEnd:
      return "at end";
    case StreamStatus::closed:
      return "closed";
    case StreamStatus::error:
      return "error";
  }
  return "unknown";
}

const UserInfoValue* UserInfo::find(std::string_view key) const noexcept {
  for (const auto& [k, v] : entries_)
    if (k == key) return &v;
  return nullptr;
}

namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string describe(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

std::string toString(const UserInfoValue& value) {
  return std::visit(Overloaded{
                        [](std::int64_t v) { return std::to_string(v); },
                        [](const std::string& v) { return v; },
                        [](char32_t v) {
                          char code[16];
                          std::snprintf(code, sizeof code, " (U+%04X)", static_cast<unsigned>(v));
                          return detail::quoted(std::u32string(1, v)) + code;
                        },
                        [](const std::u32string& v) { return detail::quoted(v); },
                        [](const std::set<std::u32string>& v) {
                          std::string out = "{";
                          for (const auto& s : v) out += (out.size() > 1 ? ", " : "") + detail::quoted(s);
                          return out + "}";
                        },
                        [](const CharacterSet& v) { return v.description(); },
                        [](TextEncoding v) { return std::string(name(v)); },
                        [](StreamStatus v) { return std::string(name(v)); },
                        [](const std::filesystem::path& v) { return v.string(); },
                        [](const CodingKey& v) {
                          std::string path = describe(CodingPath{v});
                          return path.substr(1, path.size() - 2);  // without the brackets
                        },
                        [](const CodingPath& v) { return describe(v); },
                    },
                    value);
}

struct CSVErrorBase::Impl {
  std::string_view component, domain, title;
  int code;
  std::optional<std::string> reason, suggestion, help;
  UserInfo userInfo;
  std::exception_ptr underlying;
  std::string text;
};

CSVErrorBase::CSVErrorBase(std::string_view component, std::string_view domain, std::string_view title,
                           int code, std::string reason, std::string help, UserInfo userInfo,
                           std::exception_ptr underlying) {
  auto impl = std::make_shared<Impl>(Impl{component,
                                          domain,
                                          title,
                                          code,
                                          std::move(reason),
                                          std::nullopt,
                                          std::move(help),
                                          std::move(userInfo),
                                          std::move(underlying),
                                          {}});
  std::string& text = impl->text;
  text.append("[").append(component).append("] ").append(title);
  if (impl->reason) text.append("\n\tReason: ").append(*impl->reason);
  if (impl->suggestion) text.append("\n\tRecovery: ").append(*impl->suggestion);
  if (impl->help) text.append("\n\tHelp: ").append(*impl->help);
  if (!impl->userInfo.empty()) {
    text.append("\n\tUser info: ");
    bool first = true;
    for (const auto& [key, value] : impl->userInfo) {
      if (!first) text.append(", ");
      first = false;
      text.append(key).append(": ").append(toString(value));
    }
  }
  if (impl->underlying) text.append("\n\tUnderlying error: ").append(describe(impl->underlying));
  impl_ = std::move(impl);
}

const char* CSVErrorBase::what() const noexcept {
  return impl_->text.c_str();
}
std::string_view CSVErrorBase::componentName() const noexcept {
  return impl_->component;
}
std::string_view CSVErrorBase::errorDescription() const noexcept {
  return impl_->title;
}
std::string CSVErrorBase::errorDomain() const {
  return "TamrikCSV." + std::string(impl_->domain);
}
int CSVErrorBase::errorCode() const noexcept {
  return impl_->code;
}
const std::optional<std::string>& CSVErrorBase::failureReason() const noexcept {
  return impl_->reason;
}
const std::optional<std::string>& CSVErrorBase::recoverySuggestion() const noexcept {
  return impl_->suggestion;
}
const std::optional<std::string>& CSVErrorBase::helpAnchor() const noexcept {
  return impl_->help;
}
const UserInfo& CSVErrorBase::errorUserInfo() const noexcept {
  return impl_->userInfo;
}
const std::exception_ptr& CSVErrorBase::underlyingError() const noexcept {
  return impl_->underlying;
}
const std::string& CSVErrorBase::debugDescription() const noexcept {
  return impl_->text;
}

}  // namespace tamrikcsv
