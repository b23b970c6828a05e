#pragma once

#include <string>
#include <vector>

#include "tests/support/run_program.h"

namespace tunekiln::test {

using Words = std::vector<std::string>;

// tunekiln-cli with these arguments, as a user runs it.
inline ProgramResult cli(Words arguments) {
  arguments.insert(arguments.begin(), TUNEKILN_CLI);
  return run_program(arguments);
}

}  // namespace tunekiln::test
