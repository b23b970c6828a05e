#pragma once

#include <wx/dialog.h>

namespace tunekiln {

// The About box: the icon, the name and version, the copyright.
class CAboutDialog final : public wxDialog {
 public:
  explicit CAboutDialog(wxWindow* parent);
};

}  // namespace tunekiln
