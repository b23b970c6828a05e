#pragma once

#include <CLI/CLI.hpp>

namespace tunekiln {

// encode: Save to MP3 from the command line; stores its exit status in `status`.
void add_encode_command(CLI::App& app, int& status);

}  // namespace tunekiln
