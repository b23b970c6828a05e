#pragma once

#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "shell/volume_headroom.h"

namespace tunekiln {

// "change the volume of the source sound file": the factor, with its value in decibels beside
// it. OK takes only an entry that the factor's check accepts. With `headroom`, lines under the
// controls give the file's peak and how many samples the entry would clip, its loudness and the
// entry's, and a button fills the entry with the multiple that reaches the loudness target.
class CVolumeDialog final : public wxDialog {
 public:
  explicit CVolumeDialog(wxWindow* parent, const VolumeHeadroom* headroom = nullptr);

  void OnInitDialog();
  void OnChangeMultiple();
  void OnOK();
  void OnReachTarget();

  wxTextCtrl* entry() const { return entry_; }
  wxStaticText* decibels() const { return decibels_; }
  wxStaticText* clipping() const { return clipping_; }
  wxTextCtrl* target() const { return target_; }
  wxStaticText* enteredLoudness() const { return enteredLoudness_; }

 private:
  wxTextCtrl* entry_ = nullptr;
  wxStaticText* decibels_ = nullptr;
  const VolumeHeadroom* headroom_;
  wxStaticText* clipping_ = nullptr;
  wxTextCtrl* target_ = nullptr;
  wxStaticText* enteredLoudness_ = nullptr;
};

}  // namespace tunekiln
