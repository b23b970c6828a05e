#pragma once

#include <CLI/CLI.hpp>

namespace tunekiln {

// decode and info; the chosen one stores its exit status in `status`.
void add_engine_commands(CLI::App& app, int& status);

}  // namespace tunekiln
