#include "shell/tunekiln_app.h"

#include <wx/config.h>
#include <wx/filedlg.h>
#include <wx/stdpaths.h>
#include <wx/xrc/xmlres.h>

#include <cstdlib>

#include "resources/strings.h"
#include "shell/about_dialog.h"
#include "shell/player_retirement.h"

void InitTunekilnResources();  // made from the XRC files by the build

namespace tunekiln {
namespace {
wxString from_utf8(std::string_view text) { return wxString::FromUTF8(text.data(), text.size()); }
}  // namespace

CTunekilnApp::CTunekilnApp() {
  // The window draws nothing with OpenGL; without this GTK loads a GL driver at start-up,
  // which costs tens of megabytes and milliseconds. A user's own setting is kept.
  ::setenv("GDK_GL", "disable", 0);
  // The form's scroll bars stay in sight on a small desktop, rather than appearing only as the
  // pointer moves over the window's edge.
  ::setenv("GTK_OVERLAY_SCROLLING", "0", 0);
}

void CTunekilnApp::OnInitCmdLine(wxCmdLineParser& parser) {
  wxApp::OnInitCmdLine(parser);
  parser.AddParam("document", wxCMD_LINE_VAL_STRING, wxCMD_LINE_PARAM_OPTIONAL);
}

bool CTunekilnApp::OnCmdLineParsed(wxCmdLineParser& parser) {
  if (parser.GetParamCount() > 0) documentPath_ = parser.GetParam(0).utf8_string();
  return wxApp::OnCmdLineParsed(parser);
}

bool CTunekilnApp::OnInit() {
  SetAppName(from_utf8(strings::kAppTitle));
  SetVendorName(from_utf8(strings::kSettingsVendor));
  wxStandardPaths::Get().SetFileLayout(wxStandardPaths::FileLayout_XDG);
  if (!wxApp::OnInit()) return false;

  wxXmlResource::Get()->InitAllHandlers();
  InitTunekilnResources();
  menu_.reset(wxXmlResource::Get()->LoadMenuBar("main_menu"));
  if (menu_) fileHistory_.UseMenu(menu_->GetMenu(0)->FindItem(XRCID("recent_file_menu"))->GetSubMenu());
  fileHistory_.Load(*wxConfig::Get());

  Bind(wxEVT_MENU, &CTunekilnApp::OnAppAbout, this, wxID_ABOUT);
  Bind(wxEVT_MENU, &CTunekilnApp::OnFileNew, this, wxID_NEW);
  Bind(wxEVT_MENU, &CTunekilnApp::OnFileOpen, this, wxID_OPEN);

  frame_ = new CMainFrame(dialogs_);
  frame_->setDocumentOpener([this](const std::string& path) { openDocument(path); });
  dialogs_.setParent(frame_);
  frame_->view().OnInitialUpdate();
  frame_->SetTitle(from_utf8(strings::kMainCaption));
  frame_->Maximize();
  frame_->Show();
  frame_->Update();
  // The file named on the command line is opened in the player; one that cannot be opened is
  // reported over the window, which stays.
  if (documentPath_) openDocument(*documentPath_);
  return true;
}

void CTunekilnApp::openDocument(const std::string& path) {
  if (!frame_->view().form().openFile(path)) return;
  document_.OnOpenDocument(path);
  fileHistory_.AddFileToHistory(from_utf8(path));
}

int CTunekilnApp::OnExit() {
  wait_for_retired_players();
  fileHistory_.Save(*wxConfig::Get());
  if (menu_) fileHistory_.RemoveMenu(menu_->GetMenu(0)->FindItem(XRCID("recent_file_menu"))->GetSubMenu());
  return wxApp::OnExit();
}

void CTunekilnApp::OnAppAbout(wxCommandEvent&) {
  CAboutDialog about(frame_);
  about.ShowModal();
}

// The caption stays "dedodu ro3 zeziruv" through every document command.
void CTunekilnApp::OnFileNew(wxCommandEvent&) {
  document_.OnNewDocument();
  frame_->view().form().OnNewDocument();
}

void CTunekilnApp::OnFileOpen(wxCommandEvent&) {
  wxFileDialog chooser(frame_, wxFileSelectorPromptStr, "", "", from_utf8(strings::kAllFilesFilter),
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (chooser.ShowModal() == wxID_OK) openDocument(chooser.GetPath().utf8_string());
}

}  // namespace tunekiln
