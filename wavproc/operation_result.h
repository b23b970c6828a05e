#pragma once

#include <optional>
#include <string>

namespace tunekiln {

// How a file operation ended.
enum class Outcome {
  finished,   // the output is complete and in place
  failed,     // no output was left behind; the message says what went wrong
  cancelled,  // the user cancelled a dialog; there is nothing to tell and no output was left behind
};

// Which of the operation's two files a failure concerns.
enum class FailedFile {
  input,   // the file read, which is never changed
  output,  // the file written
};

// What a failure message leaves out: the file it concerns and what is wrong with it. The command
// line prints it as a second line, "song.wav: 24-bit float in a 6-channel file is not supported".
struct FailureReason {
  FailedFile file;
  std::string cause;  // the operation's own words, or the system's for a call that failed
};

// How a file operation ended and what its user is to be told. A host shows `message` (the
// window in a message box, the command line on its output or error stream) and nothing else.
struct OperationResult {
  Outcome outcome;
  std::string message;                  // the finish or failure message; empty when cancelled
  std::optional<FailureReason> reason;  // for a failure whose file and cause are known
};

}  // namespace tunekiln
