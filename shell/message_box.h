#pragma once

#include <wx/dialog.h>

#include <string_view>

namespace tunekiln {

// A message box captioned "tunekiln", without an icon, with `buttons` (wxOK, or wxYES_NO),
// made wide enough that neither its caption nor any line of its text is cut short.
class MessageBox final : public wxDialog {
 public:
  MessageBox(wxWindow* parent, std::string_view text, long buttons = wxOK);
};

// Shows the box and answers wxID_OK, wxID_YES or wxID_NO.
int show_message_box(wxWindow* parent, std::string_view text, long buttons = wxOK);

}  // namespace tunekiln
