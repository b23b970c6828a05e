#pragma once

#include <wx/frame.h>

#include "shell/tunekiln_view.h"

namespace tunekiln {

// The main window: no menu bar, toolbar or status bar, only the form; the document commands
// stay on their keys.
class CMainFrame final : public wxFrame {
 public:
  explicit CMainFrame(FormDialogs& dialogs);
  CTunekilnView& view() { return *view_; }

 private:
  CTunekilnView* view_;
};

}  // namespace tunekiln
