#include "shell/cut_dialog.h"

#include <wx/xrc/xmlres.h>

#include "shell/message_box.h"

namespace tunekiln {

CCutDialog::CCutDialog(wxWindow* parent) {
  wxXmlResource::Get()->LoadDialog(this, parent, "cut_dialog");
  // In CutField's order.
  const char* names[kCutFieldCount] = {"cut_start_hours",        "cut_start_minutes", "cut_start_seconds",
                                       "cut_end_hours",          "cut_end_minutes",   "cut_end_seconds",
                                       "cut_start_milliseconds", "cut_end_milliseconds"};
  const CutEntries entries = take_cut_dialog_preset().value_or(CutEntries{"0", "0", "0", "0", "0", "0", "0", "0"});
  for (int index = 0; index < kCutFieldCount; ++index) {
    fields_[static_cast<std::size_t>(index)] = XRCCTRL(*this, names[index], wxTextCtrl);
    field(index)->ChangeValue(wxString::FromUTF8(entries[static_cast<std::size_t>(index)]));
  }
  fadeEdges_ = XRCCTRL(*this, "cut_fade_edges", wxCheckBox);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
}

void CCutDialog::OnOK() {
  CutEntries entries;
  for (int index = 0; index < kCutFieldCount; ++index) {
    entries[static_cast<std::size_t>(index)] = field(index)->GetValue().utf8_string();
  }
  const CutDialogVerdict verdict = accept_cut_entries(entries, fadeEdges_->GetValue() ? kDialogFadeMs : 0);
  if (verdict.accepted) {
    EndModal(wxID_OK);
    return;
  }
  show_message_box(this, verdict.message);
  if (verdict.field >= 0) {
    field(verdict.field)->SetFocus();
    field(verdict.field)->SelectAll();
  }
}

}  // namespace tunekiln
