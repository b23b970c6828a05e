#include "shell/volume_dialog.h"

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
  if (headroom_) {
    auto* line = XRCCTRL(*this, "volume_headroom", wxStaticText);
    line->SetLabel(wxString::FromUTF8(headroom_->headroomLine()));
    line->Wrap(line->GetSize().GetWidth());
  }
  entry_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { OnChangeMultiple(); });
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
}

void CVolumeDialog::OnOK() {
  if (accept_volume_entry(entry_->GetValue().utf8_string())) {
    EndModal(wxID_OK);
    return;
  }
  show_message_box(this, wav_texts::kEntryError);
}

}  // namespace tunekiln
