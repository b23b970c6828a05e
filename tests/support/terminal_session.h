#pragma once

#include <string>
#include <vector>

namespace tunekiln::test {

// A program running on a pseudo-terminal, as at a user's terminal, with keys typed by the test.
class TerminalSession {
 public:
  explicit TerminalSession(const std::vector<std::string>& arguments);
  // Ends the program if it still runs.
  ~TerminalSession();

  // Waits until the terminal shows `text`; false when the program closed the terminal first.
  bool waitForText(const std::string& text);
  void type(const std::string& keys);
  void sendSignal(int signal);
  // Waits for the program to end and gives its exit status (128 + the signal that ended it).
  int wait();
  // Everything the terminal showed so far.
  const std::string& shown() const { return shown_; }

 private:
  int terminal_ = -1;
  int pid_ = -1;
  std::string shown_;
  int status_ = -1;
};

}  // namespace tunekiln::test
