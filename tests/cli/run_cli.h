#pragma once

#include <string>
#include <vector>

#include "tests/support/run_program.h"

namespace tunekiln::test {

using Words = std::vector<std::string>;

// A command's words with its files or options behind them.
inline Words operator+(Words front, const Words& back) {
  front.insert(front.end(), back.begin(), back.end());
  return front;
}

// Whether `text` holds `part` anywhere.
inline bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// tunekiln-cli with these arguments, as a user runs it.
inline ProgramResult cli(const Words& arguments) { return run_program(Words{TUNEKILN_CLI} + arguments); }

}  // namespace tunekiln::test
