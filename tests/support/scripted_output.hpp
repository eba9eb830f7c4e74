#pragma once

// An output stream that accepts bytes as a script says, so tests can cut writes short and fail on cue.

#include <deque>
#include <stdexcept>
#include <string>

#include "tamrikcsv/writer/output_stream.hpp"

namespace tamrikcsv::test {

class ScriptedOutput final : public OutputStream {
 public:
  /// What each write call does, in turn: accept at most that many bytes, or fail with -1. Once the script
  /// is used up, every call accepts everything.
  static constexpr std::ptrdiff_t kFail = -1;
  explicit ScriptedOutput(std::deque<std::ptrdiff_t> script = {}) : script_(std::move(script)) {}

  void open() override {
    if (status_ == StreamStatus::notOpen) status_ = StreamStatus::open;
  }
  std::ptrdiff_t write(const std::byte* bytes, std::size_t length) override {
    ++calls;
    if (status_ != StreamStatus::open) return -1;
    std::ptrdiff_t allowed = static_cast<std::ptrdiff_t>(length);
    if (!script_.empty()) {
      allowed = std::min(allowed, script_.front());
      script_.pop_front();
    }
    if (allowed < 0) {
      status_ = StreamStatus::error;
      error_ = std::make_exception_ptr(std::runtime_error("injected write failure"));
      return -1;
    }
    written.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(allowed));
    return allowed;
  }
  void close() override {
    ++closes;
    if (status_ != StreamStatus::error) status_ = StreamStatus::closed;
  }
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return error_; }
  std::string description() const override { return "scripted output"; }

  std::string written;
  int calls = 0;
  int closes = 0;

 private:
  std::deque<std::ptrdiff_t> script_;
  StreamStatus status_ = StreamStatus::notOpen;
  std::exception_ptr error_;
};

}  // namespace tamrikcsv::test
