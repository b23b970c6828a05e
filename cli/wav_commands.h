#pragma once

#include <CLI/CLI.hpp>

namespace tunekiln {

// left, right, clear-voice, volume and cut; the chosen one stores its exit status in `status`.
void add_wav_commands(CLI::App& app, int& status);

}  // namespace tunekiln
