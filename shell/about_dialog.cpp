#include "shell/about_dialog.h"

#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include "resources/version.h"
#include "shell/app_icons.h"

namespace tunekiln {

CAboutDialog::CAboutDialog(wxWindow* parent) {
  wxXmlResource::Get()->LoadDialog(this, parent, "about_dialog");
  XRCCTRL(*this, "about_icon", wxStaticBitmap)->SetBitmap(application_icon_bundle());
  XRCCTRL(*this, "about_version", wxStaticText)->SetLabel(wxString("tunekiln Version ") + version::kVersion);
}

}  // namespace tunekiln
