#include "shell/tunekiln_app.h"

#include <wx/config.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/stdpaths.h>
#include <wx/xrc/xmlres.h>

#include <cstdlib>

#include "resources/strings.h"
#include "shell/about_dialog.h"

void InitTunekilnResources();  // made from the XRC files by the build

namespace tunekiln {
namespace {
wxString from_utf8(std::string_view text) { return wxString::FromUTF8(text.data(), text.size()); }
}  // namespace

CTunekilnApp::CTunekilnApp() {
  // The window draws nothing with OpenGL; without this GTK loads a GL driver at start-up,
  // which costs tens of megabytes and milliseconds. A user's own setting is kept.
  ::setenv("GDK_GL", "disable", 0);
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
  Bind(wxEVT_MENU, &CTunekilnApp::OnFileSave, this, wxID_SAVE);

  // A document named on the command line is opened instead of a new one; one that cannot be
  // opened ends the program before any window appears.
  if (documentPath_ && !document_.OnOpenDocument(*documentPath_)) {
    showMessage(strings::kFailedToOpenDocument);
    return false;
  }
  if (documentPath_) fileHistory_.AddFileToHistory(from_utf8(*documentPath_));

  frame_ = new CMainFrame(dialogs_);
  dialogs_.setParent(frame_);
  frame_->view().OnInitialUpdate();
  frame_->SetTitle(from_utf8(strings::kMainCaption));
  frame_->Maximize();
  frame_->Show();
  frame_->Update();
  return true;
}

int CTunekilnApp::OnExit() {
  fileHistory_.Save(*wxConfig::Get());
  if (menu_) fileHistory_.RemoveMenu(menu_->GetMenu(0)->FindItem(XRCID("recent_file_menu"))->GetSubMenu());
  return wxApp::OnExit();
}

void CTunekilnApp::showMessage(std::string_view text) {
  wxMessageBox(from_utf8(text), from_utf8(strings::kAppTitle), wxOK | wxICON_NONE | wxCENTRE, frame_);
}

void CTunekilnApp::OnAppAbout(wxCommandEvent&) {
  CAboutDialog about(frame_);
  about.ShowModal();
}

// The caption stays "dedodu ro3 zeziruv" through every document command.
void CTunekilnApp::OnFileNew(wxCommandEvent&) {
  document_.OnNewDocument();
  frame_->view().OnInitialUpdate();
}

void CTunekilnApp::OnFileOpen(wxCommandEvent&) {
  wxFileDialog chooser(frame_, wxFileSelectorPromptStr, "", "", "All Files (*.*)|*.*",
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (chooser.ShowModal() != wxID_OK) return;
  const std::string path = chooser.GetPath().utf8_string();
  if (!document_.OnOpenDocument(path)) {
    showMessage(strings::kFailedToOpenDocument);
    return;
  }
  fileHistory_.AddFileToHistory(chooser.GetPath());
  frame_->view().OnInitialUpdate();
}

void CTunekilnApp::OnFileSave(wxCommandEvent&) {
  std::string path;
  if (document_.path()) {
    path = *document_.path();
  } else {
    wxFileDialog chooser(frame_, wxFileSelectorPromptStr, "", from_utf8(document_.title()), "All Files (*.*)|*.*",
                         wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (chooser.ShowModal() != wxID_OK) return;
    path = chooser.GetPath().utf8_string();
  }
  if (!document_.OnSaveDocument(path)) {
    showMessage(strings::kFailedToSaveDocument);
    return;
  }
  fileHistory_.AddFileToHistory(from_utf8(path));
}

}  // namespace tunekiln
