#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tunekiln::test {

struct ProgramResult {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

// Runs a program to its end with standard input from /dev/null and both output streams captured.
ProgramResult run_program(const std::vector<std::string>& arguments);

// A stream, backed by a temporary file, whose text the test reads back.
struct CapturedStream {
  CapturedStream() = default;
  CapturedStream(const CapturedStream&) = delete;
  ~CapturedStream() { std::fclose(file); }
  std::string text() const;

  std::FILE* file = std::tmpfile();
};

}  // namespace tunekiln::test
