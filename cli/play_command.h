#pragma once

#include <CLI/CLI.hpp>

namespace tunekiln {

// play FILE: plays through the engine and the sound card; stores its exit status in `status`.
void add_play_command(CLI::App& app, int& status);

}  // namespace tunekiln
