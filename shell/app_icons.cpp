#include "shell/app_icons.h"

#include "resources/tunekiln_svg.h"

namespace tunekiln {
namespace {
const wxSize kIconSize(32, 32);
}

wxBitmapBundle application_icon_bundle() { return wxBitmapBundle::FromSVG(k_tunekiln_svg, kIconSize); }

wxIconBundle application_icons() {
  const wxBitmapBundle bundle = application_icon_bundle();
  wxIconBundle icons;
  for (const int size : {16, 32, 48, 64, 128}) icons.AddIcon(bundle.GetIcon(wxSize(size, size)));
  return icons;
}

}  // namespace tunekiln
