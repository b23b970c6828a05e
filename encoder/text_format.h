#pragma once

#include <string>

namespace tunekiln {

// printf into a string, for texts that travel to the user instead of being printed.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tunekiln
