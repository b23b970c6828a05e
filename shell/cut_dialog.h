#pragma once

#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <array>

#include "wavproc/cut_dialog_logic.h"

namespace tunekiln {

// "Cut Wav File": start and end time in hours, minutes and seconds. OK takes only whole
// numbers in range and a start before the end (or an end of 0:00:00, the end of the file).
class CCutDialog final : public wxDialog {
 public:
  explicit CCutDialog(wxWindow* parent);

  void OnOK();
  wxTextCtrl* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

 private:
  std::array<wxTextCtrl*, kCutFieldCount> fields_{};
};

}  // namespace tunekiln
