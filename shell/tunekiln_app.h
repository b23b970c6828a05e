#pragma once

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/filehistory.h>
#include <wx/menu.h>

#include <memory>
#include <optional>
#include <string>

#include "shell/main_frame.h"
#include "shell/tunekiln_doc.h"
#include "shell/wx_form_dialogs.h"

namespace tunekiln {

// The application: brings up the maximised main window with its caption, keeps the settings
// and the recent-file list, and answers the document commands of the keys.
class CTunekilnApp final : public wxApp {
 public:
  CTunekilnApp();
  bool OnInit() override;
  int OnExit() override;
  void OnInitCmdLine(wxCmdLineParser& parser) override;
  bool OnCmdLineParsed(wxCmdLineParser& parser) override;

  void OnAppAbout(wxCommandEvent& event);
  void OnFileNew(wxCommandEvent& event);
  void OnFileOpen(wxCommandEvent& event);
  // The document is the file the player plays: opened from the command line, Ctrl+O or a drop.
  // Ctrl+S has nothing to save.
  void openDocument(const std::string& path);

 private:
  std::optional<std::string> documentPath_;  // from the command line
  WxFormDialogs dialogs_;
  CTunekilnDoc document_;
  std::unique_ptr<wxMenuBar> menu_;  // never shown; its "Recent File" menu holds the list
  wxFileHistory fileHistory_{4};
  CMainFrame* frame_ = nullptr;
};

}  // namespace tunekiln
