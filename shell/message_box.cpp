#include "shell/message_box.h"

#include <wx/button.h>
#include <wx/gdicmn.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "resources/strings.h"

namespace tunekiln {
namespace {

constexpr int kMargin = 12;
// The title bar holds an icon and three buttons besides the caption, each about as wide as the
// bar is high, which is about a line of text and a margin.
constexpr int kTitleBarButtons = 4;

wxString from_utf8(std::string_view text) { return wxString::FromUTF8(text.data(), text.size()); }

}  // namespace

MessageBox::MessageBox(wxWindow* parent, std::string_view text, long buttons)
    : wxDialog(parent, wxID_ANY, from_utf8(strings::kAppTitle)) {
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  auto* label = new wxStaticText(this, wxID_ANY, from_utf8(text));
  label->Wrap(wxGetDisplaySize().x * 3 / 4);  // a very long line goes on at a space rather than off the desktop
  sizer->Add(label, 0, wxALL, kMargin);
  sizer->Add(CreateStdDialogButtonSizer(buttons), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kMargin);
  SetSizerAndFit(sizer);

  wxFont captionFont = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  captionFont.MakeBold();
  int captionWidth = 0;
  int captionHeight = 0;
  GetTextExtent(from_utf8(strings::kAppTitle), &captionWidth, &captionHeight, nullptr, nullptr, &captionFont);
  const int titleBar = captionHeight + kMargin;
  const int width = std::max(GetSize().x, captionWidth + 2 * kMargin + kTitleBarButtons * titleBar);
  SetMinSize(wxSize(width, GetSize().y));
  SetSize(wxSize(width, GetSize().y));
  CentreOnParent();
}

int show_message_box(wxWindow* parent, std::string_view text, long buttons) {
  MessageBox box(parent, text, buttons);
  // The buttons answer through the dialog's own ids.
  box.Bind(wxEVT_BUTTON, [&box](wxCommandEvent& event) { box.EndModal(event.GetId()); });
  return box.ShowModal();
}

}  // namespace tunekiln
