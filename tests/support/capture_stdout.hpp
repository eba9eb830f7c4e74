#pragma once

// Captures what the process writes to standard output while a test runs a piece of code.

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace tamrik::test {

inline std::string captureStdout(const std::function<void()>& action) {
  std::fflush(stdout);
  char path[] = "/tmp/tamrik-stdout-XXXXXX";
  int file = ::mkstemp(path);
  int saved = ::dup(STDOUT_FILENO);
  ::dup2(file, STDOUT_FILENO);
  action();
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(file);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  ::unlink(path);
  return text.str();
}

}  // namespace tamrik::test
