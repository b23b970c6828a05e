#pragma once

#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>

namespace tunekiln {

// Icon 128, the application's, at every size the desktop asks for.
wxBitmapBundle application_icon_bundle();
wxIconBundle application_icons();

}  // namespace tunekiln
