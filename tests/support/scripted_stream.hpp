#pragma once

// An input stream that plays a script of reads, so tests can cut input anywhere and fail on cue.

#include <algorithm>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "tamrikcsv/reader/input_stream.hpp"

namespace tamrikcsv::test {

class ScriptedStream final : public InputStream {
 public:
  /// One read: these bytes (cut to the length asked for, the rest kept for the next read), or a failure.
  struct Step {
    std::string bytes;
    bool fails = false;
  };
  static Step failure() { return {{}, true}; }

  explicit ScriptedStream(std::deque<Step> steps) : steps_(std::move(steps)) {}
  /// The whole text, handed out in reads of at most `chunk` bytes.
  static std::shared_ptr<ScriptedStream> chunked(const std::string& text, std::size_t chunk) {
    std::deque<Step> steps;
    for (std::size_t i = 0; i < text.size(); i += chunk) steps.push_back({text.substr(i, chunk)});
    return std::make_shared<ScriptedStream>(std::move(steps));
  }

  void open() override {
    ++opens;
    if (status_ == StreamStatus::notOpen) status_ = StreamStatus::open;
  }
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override {
    requests.push_back(maxLength);
    if (status_ != StreamStatus::open) return status_ == StreamStatus::atEnd ? 0 : -1;
    if (steps_.empty()) {
      status_ = StreamStatus::atEnd;
      return 0;
    }
    Step& step = steps_.front();
    if (step.fails) {
      status_ = StreamStatus::error;
      error_ = std::make_exception_ptr(std::runtime_error("injected read failure"));
      return -1;
    }
    std::size_t n = std::min(maxLength, step.bytes.size());
    std::memcpy(buffer, step.bytes.data(), n);
    step.bytes.erase(0, n);
    if (step.bytes.empty()) steps_.pop_front();
    return static_cast<std::ptrdiff_t>(n);
  }
  bool hasBytesAvailable() const override { return status_ == StreamStatus::open; }
  void close() override {
    ++closes;
    if (status_ != StreamStatus::error) status_ = StreamStatus::closed;
  }
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return error_; }
  std::string description() const override { return "scripted stream"; }

  int opens = 0;
  int closes = 0;
  std::vector<std::size_t> requests;  ///< the length asked for by each read

 private:
  std::deque<Step> steps_;
  StreamStatus status_ = StreamStatus::notOpen;
  std::exception_ptr error_;
};

}  // namespace tamrikcsv::test
