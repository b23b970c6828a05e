#pragma once

#include <CLI/CLI.hpp>

namespace tunekiln {

// analyse: levels, clipping, the channels' correlation and the true MP3 length, in one pass.
void add_analyse_command(CLI::App& app, int& status);

}  // namespace tunekiln
