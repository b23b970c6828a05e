#include "shell/volume_dialog.h"

#include <wx/button.h>
#include <wx/xrc/xmlres.h>

#include "shell/message_box.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {

CVolumeDialog::CVolumeDialog(wxWindow* parent, const VolumeHeadroom* headroom) : headroom_(headroom) {
  wxXmlResource::Get()->LoadDialog(this, parent, "volume_dialog");
  entry_ = XRCCTRL(*this, "volume_multiple", wxTextCtrl);
  decibels_ = XRCCTRL(*this, "volume_decibels", wxStaticText);
  clipping_ = XRCCTRL(*this, "volume_clipping", wxStaticText);
  target_ = XRCCTRL(*this, "volume_target", wxTextCtrl);
  enteredLoudness_ = XRCCTRL(*this, "volume_entered_loudness", wxStaticText);
  target_->ChangeValue(wxString(kInitialLoudnessTargetEntry.data(), kInitialLoudnessTargetEntry.size()));
  auto* reachTarget = XRCCTRL(*this, "volume_reach_target", wxButton);
  if (headroom_) {
    auto* line = XRCCTRL(*this, "volume_headroom", wxStaticText);
    line->SetLabel(wxString::FromUTF8(headroom_->headroomLine()));
    line->Wrap(line->GetSize().GetWidth());
    XRCCTRL(*this, "volume_loudness", wxStaticText)->SetLabel(wxString::FromUTF8(headroom_->loudnessLine()));
  }
  // Without a measured file there is no loudness to reach.
  if (!headroom_ || !headroom_->measuredLoudness()) {
    reachTarget->Disable();
    target_->Disable();
  }
  entry_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { OnChangeMultiple(); });
  reachTarget->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnReachTarget(); });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
  OnInitDialog();
}

void CVolumeDialog::OnInitDialog() {
  entry_->ChangeValue(wxString(kInitialVolumeEntry.data(), kInitialVolumeEntry.size()));
  OnChangeMultiple();
  entry_->SetFocus();
  entry_->SelectAll();
}

void CVolumeDialog::OnChangeMultiple() {
  const std::string entry = entry_->GetValue().utf8_string();
  decibels_->SetLabel(volume_decibel_text(entry));
  if (headroom_) clipping_->SetLabel(wxString::FromUTF8(headroom_->clippingLine(entry)));
  if (headroom_) enteredLoudness_->SetLabel(wxString::FromUTF8(headroom_->enteredLoudnessLine(entry)));
}

void CVolumeDialog::OnReachTarget() {
  const TargetFill fill = headroom_->targetFill(target_->GetValue().utf8_string());
  if (!fill.refusal.empty()) {
    show_message_box(this, fill.refusal);
    return;
  }
  entry_->SetValue(wxString::FromUTF8(fill.entry));  // an event: the lines follow the entry
  entry_->SetFocus();
}

void CVolumeDialog::OnOK() {
  if (accept_volume_entry(entry_->GetValue().utf8_string())) {
    EndModal(wxID_OK);
    return;
  }
  show_message_box(this, wav_texts::kEntryError);
}

}  // namespace tunekiln
