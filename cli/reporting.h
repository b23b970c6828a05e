#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where the commands' messages go, and how a failure names the file it concerns.
namespace tunekiln {

// Set from the program's options before a command runs.
struct Reporting {
  bool quiet = false;                 // no progress and no finish message
  bool dataOnStandardOutput = false;  // OUT is "-": messages keep off standard output
  std::string heldFinish;             // with OUT "-": the finish message, until the result is out
};
Reporting& reporting();

// The file a failure concerns, as the user named it, and why.
struct FileFault {
  std::string name;
  std::string reason;  // nothing known: no second line
};

// The fault with errno's text for `error`; no reason for 0.
FileFault errno_fault(std::string name, int error);

// What the user calls `name` in messages: "-" is a standard stream.
std::string shown_input_name(const std::string& name);
std::string shown_output_name(const std::string& name);

// The finish message: on standard output, nothing when quiet. When standard output carries the
// data, it is held until release_finish_message, after the data is delivered, and then goes
// to standard error.
void report_finished(std::string_view message);
void release_finish_message();
// A failure on standard error: the operation's own text, and under it the file and the reason
// ("song.wav: Permission denied"). Gives `status`.
int report_failure(std::string_view message, const std::optional<FileFault>& fault = std::nullopt, int status = 1);
// A line on standard error that is no failure (a warning, a value found on the way).
void report_note(std::string_view line);

// The messages of one file of a batch that runs beside others, kept until the file is done and
// then written whole, so that no two files' lines mix.
struct HeldMessages {
  std::string out, err;
};
// While this lives, the messages of the calling thread go to `held`; progress is not drawn.
class HoldMessages {
 public:
  explicit HoldMessages(HeldMessages& held);
  HoldMessages(const HoldMessages&) = delete;
  HoldMessages& operator=(const HoldMessages&) = delete;
  ~HoldMessages();
};
// Where the calling thread's messages are kept, or null when they are written at once.
HeldMessages* held_messages();

}  // namespace tunekiln
