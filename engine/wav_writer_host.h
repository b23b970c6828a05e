#pragma once

#include <optional>
#include <string>

namespace tunekiln {

// Where the WAV file writer writes, as whoever started the decoding answers it: the window,
// the command line or a test. Asked on the engine thread, which waits for the answer.
class WavWriterHost {
 public:
  virtual ~WavWriterHost() = default;

  // The path of the decoded file; nothing when the user cancels. Asked again at once when the
  // chosen path cannot be written.
  virtual std::optional<std::string> chooseDestination() = 0;
};

}  // namespace tunekiln
