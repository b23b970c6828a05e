#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wavproc/file_dialog_request.h"

namespace tunekiln {

// The progress scale shared by every file operation.
inline constexpr std::int32_t kProgressEnd = 1000000;

// What a failure message leaves out: the file it concerns and what is wrong with it. The command
// line prints it as a second line, "song.wav: 24-bit float in a 6-channel file is not supported".
struct FailureReason {
  std::string file;
  std::string cause;  // empty when the message says all that is known
};

// What a file operation needs from whoever started it: the window, the command line or a test.
class WavProcessHost {
 public:
  virtual ~WavProcessHost() = default;

  // A path, or nothing when the user cancelled.
  virtual std::optional<std::string> chooseInputFile(const FileDialogRequest& dialog) = 0;
  virtual std::optional<std::string> chooseOutputFile(const FileDialogRequest& dialog) = 0;
  // The volume dialog: true on OK, with the accepted factor in g_volumeMultiple.
  virtual bool askVolumeMultiple() = 0;
  // The cut dialog: true on OK, with the range in g_cutStartSeconds and g_cutEndSeconds.
  virtual bool askCutTimes() = 0;
  virtual void showMessage(std::string_view text) = 0;
  // How a failed operation ends: its message and, where known, why. A host without room for a
  // second line (the window's message box) shows the message alone.
  virtual void showFailure(std::string_view message, const FailureReason& /*reason*/) { showMessage(message); }
  // Clear voice found both channels identical: removing the centre leaves silence. A host may
  // ask whether to go on, and may set `keepBassHz` to keep the centre's bass; false cancels.
  virtual bool confirmSilentResult(std::optional<double>& /*keepBassHz*/) { return true; }
  // A position on the scale 0..kProgressEnd.
  virtual void setProgress(std::int32_t position) = 0;
};

}  // namespace tunekiln
