#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "wavproc/file_dialog_request.h"

namespace tunekiln {

// The progress scale shared by every file operation.
inline constexpr std::int32_t kProgressEnd = 1000000;

// What a file operation needs from whoever started it: the window, the command line or a test.
// How the operation ended is its result, which the one that started it shows.
class WavProcessHost {
 public:
  virtual ~WavProcessHost() = default;

  // A path, or nothing when the user cancelled.
  virtual std::optional<std::string> chooseInputFile(const FileDialogRequest& dialog) = 0;
  virtual std::optional<std::string> chooseOutputFile(const FileDialogRequest& dialog) = 0;
  // The volume dialog: true on OK, with the accepted factor in g_volumeMultiple.
  virtual bool askVolumeMultiple() = 0;
  // The cut dialog: true on OK, with the range in g_cutRange.
  virtual bool askCutTimes() = 0;
  // Clear voice found both channels identical: removing the centre leaves silence. A host may
  // ask whether to go on, and may set `keepBassHz` to keep the centre's bass; false cancels.
  virtual bool confirmSilentResult(std::optional<double>& /*keepBassHz*/) { return true; }
  // A position on the scale 0..kProgressEnd.
  virtual void setProgress(std::int32_t position) = 0;
};

}  // namespace tunekiln
