#pragma once

#include <wx/frame.h>

#include <functional>
#include <string>

#include "shell/tunekiln_view.h"

namespace tunekiln {

// The main window: no menu bar, toolbar or status bar, only the form, which wraps its rows of
// buttons on a narrower window and scrolls up and down when it is lower; the document commands
// stay on their keys, and a file dropped on the window is opened as a document.
class CMainFrame final : public wxFrame {
 public:
  explicit CMainFrame(FormDialogs& dialogs);
  CTunekilnView& view() { return *view_; }
  // Where a dropped file goes; without one, straight to the form's player.
  void setDocumentOpener(std::function<void(const std::string&)> opener) { openDocument_ = std::move(opener); }
  void dropped(const std::string& path);

 private:
  CTunekilnView* view_;
  std::function<void(const std::string&)> openDocument_;
};

}  // namespace tunekiln
