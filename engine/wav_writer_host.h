#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_dialog_request.h"

namespace tunekiln {

// What the WAV file writer needs from whoever started the decoding: the window, the command
// line or a test. Both calls come on the engine thread, which waits for their answer.
class WavWriterHost {
 public:
  virtual ~WavWriterHost() = default;

  // The save dialog for the decoded file; nothing when the user cancels. Asked again at once
  // when the chosen path cannot be written.
  virtual std::optional<std::string> chooseDestination(const FileDialogRequest& dialog) = 0;
  // The decoded file could not be written in full; the destination was left as it was.
  virtual void showMessage(std::string_view text) = 0;
};

}  // namespace tunekiln
