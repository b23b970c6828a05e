#pragma once

#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace tunekiln {

// "change the volume of the source sound file": the factor, with its value in decibels beside
// it. OK takes only an entry that the factor's check accepts.
class CVolumeDialog final : public wxDialog {
 public:
  explicit CVolumeDialog(wxWindow* parent);

  void OnInitDialog();
  void OnChangeMultiple();
  void OnOK();

  wxTextCtrl* entry() const { return entry_; }
  wxStaticText* decibels() const { return decibels_; }

 private:
  wxTextCtrl* entry_ = nullptr;
  wxStaticText* decibels_ = nullptr;
};

}  // namespace tunekiln
