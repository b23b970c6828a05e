#pragma once

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <array>

#include "wavproc/cut_dialog_logic.h"

namespace tunekiln {

// "Cut Wav File": start and end time in hours, minutes, seconds and milliseconds, and whether to
// fade the edges. OK takes only whole numbers in range and a start before the end (or an end of
// 0:00:00.000, the end of the file). It opens on g_cutDialogPreset when one is set.
class CCutDialog final : public wxDialog {
 public:
  explicit CCutDialog(wxWindow* parent);

  void OnOK();
  wxTextCtrl* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }
  wxCheckBox* fadeEdges() const { return fadeEdges_; }

 private:
  std::array<wxTextCtrl*, kCutFieldCount> fields_{};
  wxCheckBox* fadeEdges_ = nullptr;
};

}  // namespace tunekiln
