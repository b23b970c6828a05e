#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tunekiln {

// One line on standard error that is redrawn in place while something runs. It is drawn only
// when standard error is a terminal, so pipes and log files receive nothing but messages.
class TerminalStatusLine {
 public:
  TerminalStatusLine();
  TerminalStatusLine(const TerminalStatusLine&) = delete;
  TerminalStatusLine& operator=(const TerminalStatusLine&) = delete;
  ~TerminalStatusLine();

  bool enabled() const { return enabled_; }
  void show(std::string_view text);
  // Erases the line, so that a message can follow at the start of it.
  void clear();

 private:
  bool enabled_;
  std::size_t shownLength_ = 0;
};

// A bar for a position on the scale 0..1,000,000, such as "[#######-------------]  35%".
std::string progress_bar_text(std::int32_t position);

}  // namespace tunekiln
