#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/waveform_envelope.h"
#include "shell/volume_headroom.h"
#include "wavproc/file_dialog_request.h"

namespace tunekiln {

// The controls of the main form, as the form's logic changes them.
class FormWidgets {
 public:
  virtual ~FormWidgets() = default;
  // Controls are named as in form_ids.h.
  virtual void enable(std::string_view control, bool enabled) = 0;
  virtual void setLabel(std::string_view control, std::string_view text) = 0;
  virtual void setSliderRange(int minimum, int maximum) = 0;
  virtual int sliderPosition() = 0;
  // Moves the thumb without a scroll notification: only the user's moves seek.
  virtual void setSliderPosition(int position) = 0;
  virtual void setProgressRange(std::int32_t maximum) = 0;
  virtual void setProgressPosition(std::int32_t position) = 0;
  // Whether the key is down at this moment: Shift changes what a button does, Esc stops a pass
  // over a file that the form makes before a dialog.
  virtual bool shiftHeld() = 0;
  virtual bool escapeHeld() = 0;
  // Whether a check box is ticked; a form without it has none ticked.
  virtual bool isChecked(std::string_view /*control*/) { return false; }
  // The waveform strip: the envelope it draws (nothing for none; a new one drops the strip's
  // selection), a redraw as that envelope grows, and the share of the stream played so far.
  virtual void showWaveform(std::shared_ptr<const WaveformEnvelope> /*envelope*/) {}
  virtual void redrawWaveform() {}
  virtual void setWaveformCursor(double /*share*/) {}
};

// The modal dialogs the form shows. Each runs on the window's thread and answers when the
// user has closed it.
class FormDialogs {
 public:
  virtual ~FormDialogs() = default;
  // A path, or nothing when cancelled; a typed name without an extension gets the dialog's.
  virtual std::optional<std::string> chooseFileToOpen(const FileDialogRequest& dialog) = 0;
  virtual std::optional<std::string> chooseFileToSave(const FileDialogRequest& dialog) = 0;
  // True on OK, with the factor in g_volumeMultiple. With `headroom`, the dialog shows its lines
  // under the controls.
  virtual bool runVolumeDialog(const VolumeHeadroom* headroom) = 0;
  // True on OK, with the range in g_cutRange.
  virtual bool runCutDialog() = 0;
  // Whether to keep the centre's bass when clearing the voice, asked with Shift held or, with
  // `silentResult`, because the plain result would be silence. True on OK, with `keepBassHz` set
  // to the frequency when the box is ticked and to nothing when it is not; false on Cancel.
  virtual bool runKeepBassDialog(bool silentResult, std::optional<double>& keepBassHz) = 0;
  // A message box captioned with the application's name, an OK button and no icon.
  virtual void showMessage(std::string_view text) = 0;
};

}  // namespace tunekiln
