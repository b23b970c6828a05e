#pragma once

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <optional>

namespace tunekiln {

// Clear Human Voice's choice to keep the centre's bass: "Keep the bass below [120] Hz", under
// a line that says why it is asked. OK takes only a frequency that the entry's check accepts.
class KeepBassDialog final : public wxDialog {
 public:
  KeepBassDialog(wxWindow* parent, bool silentResult);

  void OnOK();

  // After OK: the frequency when the box is ticked, nothing when it is not.
  std::optional<double> keepBassHz() const { return keepBassHz_; }
  wxCheckBox* keep() const { return keep_; }
  wxTextCtrl* hz() const { return hz_; }

 private:
  wxCheckBox* keep_ = nullptr;
  wxTextCtrl* hz_ = nullptr;
  std::optional<double> keepBassHz_;
};

}  // namespace tunekiln
