#include "shell/keep_bass_dialog.h"

#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include <string_view>

#include "resources/strings.h"
#include "shell/keep_bass_entry.h"
#include "shell/message_box.h"
#include "wavproc/centre_bass.h"

namespace tunekiln {
namespace {
wxString from_utf8(std::string_view text) { return wxString::FromUTF8(text.data(), text.size()); }
}  // namespace

KeepBassDialog::KeepBassDialog(wxWindow* parent, bool silentResult) {
  wxXmlResource::Get()->LoadDialog(this, parent, "keep_bass_dialog");
  keep_ = XRCCTRL(*this, "keep_bass", wxCheckBox);
  hz_ = XRCCTRL(*this, "keep_bass_hz", wxTextCtrl);
  auto* question = XRCCTRL(*this, "keep_bass_question", wxStaticText);
  question->SetLabel(from_utf8(silentResult ? strings::kSilentResultQuestion : strings::kKeepBassIntro));
  question->Wrap(question->GetSize().GetWidth());
  // Ticked: whoever sees this dialog held Shift for it, or would otherwise get silence.
  keep_->SetValue(true);
  hz_->ChangeValue(wxString::Format("%g", kDefaultKeepBassHz));
  keep_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { hz_->Enable(keep_->GetValue()); });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
  hz_->SetFocus();
  hz_->SelectAll();
}

void KeepBassDialog::OnOK() {
  keepBassHz_.reset();
  if (keep_->GetValue()) {
    keepBassHz_ = keep_bass_hz(hz_->GetValue().utf8_string());
    if (!keepBassHz_) {
      show_message_box(this, strings::kKeepBassEntryError);
      return;
    }
  }
  EndModal(wxID_OK);
}

}  // namespace tunekiln
