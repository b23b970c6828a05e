#include "cli/terminal_status.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tunekiln {

TerminalStatusLine::TerminalStatusLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}

TerminalStatusLine::~TerminalStatusLine() { clear(); }

void TerminalStatusLine::show(std::string_view text) {
  if (!enabled_) return;
  std::string line = "\r";
  line.append(text);
  if (text.size() < shownLength_) line.append(shownLength_ - text.size(), ' ');  // cover a longer last text
  shownLength_ = text.size();
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void TerminalStatusLine::clear() {
  if (!enabled_ || shownLength_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(shownLength_), "");
  std::fflush(stderr);
  shownLength_ = 0;
}

std::string progress_bar_text(std::int32_t position) {
  constexpr int kWidth = 40;
  const int percent = std::clamp(position / 10000, 0, 100);
  const int filled = percent * kWidth / 100;
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kWidth - filled), '-') + "] " + number;
}

}  // namespace tunekiln
