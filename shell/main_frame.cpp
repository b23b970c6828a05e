#include "shell/main_frame.h"

#include <wx/accel.h>
#include <wx/display.h>
#include <wx/dnd.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/xrc/xmlres.h>

#include <vector>

#include "resources/accelerators.h"
#include "resources/strings.h"
#include "shell/app_icons.h"

namespace tunekiln {
namespace {

// Commands without a handler anywhere: their keys do nothing, as in a window without panes.
const int kNextPaneId = wxWindow::NewControlId();
const int kPreviousPaneId = wxWindow::NewControlId();

int command_id(accelerators::Command command) {
  using namespace accelerators;
  switch (command) {
    case kNew: return wxID_NEW;
    case kOpen: return wxID_OPEN;
    case kSave: return wxID_SAVE;
    case kUndo: return wxID_UNDO;
    case kCut: return wxID_CUT;
    case kCopy: return wxID_COPY;
    case kPaste: return wxID_PASTE;
    case kNextPane: return kNextPaneId;
    case kPreviousPane: return kPreviousPaneId;
    case kClose: return wxID_CLOSE;
    case kCutSelection: return XRCID("cut_selection");
    case kExit: return wxID_EXIT;
  }
  return wxID_NONE;
}

wxAcceleratorTable accelerator_table() {
  using namespace accelerators;
  std::vector<wxAcceleratorEntry> entries;
  for (const Accelerator& accelerator : kTable) {
    int flags = wxACCEL_NORMAL;
    if (accelerator.modifiers & kCtrl) flags |= wxACCEL_CTRL;
    if (accelerator.modifiers & kShift) flags |= wxACCEL_SHIFT;
    if (accelerator.modifiers & kAlt) flags |= wxACCEL_ALT;
    int key = accelerator.key;
    if (key == kBack) key = WXK_BACK;
    if (key == kDelete) key = WXK_DELETE;
    if (key == kInsert) key = WXK_INSERT;
    if (key == kF6) key = WXK_F6;
    entries.emplace_back(flags, key, command_id(accelerator.command));
  }
  return wxAcceleratorTable(static_cast<int>(entries.size()), entries.data());
}

class FileDrop final : public wxFileDropTarget {
 public:
  explicit FileDrop(CMainFrame& frame) : frame_(frame) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
    if (names.empty()) return false;
    frame_.dropped(names[0].utf8_string());  // one document at a time: the first
    return true;
  }

 private:
  CMainFrame& frame_;
};

}  // namespace

CMainFrame::CMainFrame(FormDialogs& dialogs)
    : wxFrame(nullptr, wxID_ANY, wxString::FromUTF8(strings::kAppTitle.data(), strings::kAppTitle.size())) {
  SetIcons(application_icons());
  // The form scrolls only up and down: on a narrower window its rows of buttons wrap.
  auto* scroller = new wxScrolledWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL);
  view_ = new CTunekilnView(scroller, dialogs);
  const wxSize formSize = view_->GetSize();
  scroller->SetScrollRate(0, 10);
  scroller->Bind(wxEVT_SIZE, [this, scroller](wxSizeEvent& event) {
    const wxSize size = view_->layoutFor(scroller->GetClientSize().x);
    view_->SetSize(size);
    scroller->SetVirtualSize(size);
    event.Skip();
  });
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(scroller, 1, wxEXPAND);
  SetSizer(sizer);
  // The form's size, but never larger than the desktop, not even before the window manager
  // maximises the window: a frame mapped wider than the screen may keep that size while it
  // reports itself maximised.
  wxSize size = formSize;
  size.DecTo(wxDisplay(this).GetClientArea().GetSize() * 9 / 10);
  SetClientSize(size);
  SetDropTarget(new FileDrop(*this));
  SetAcceleratorTable(accelerator_table());
  // The only window: closing it ends the program either way.
  for (const int id : {wxID_CLOSE, wxID_EXIT}) Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, id);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { view_->form().OnCutSelection(); }, XRCID("cut_selection"));
}

void CMainFrame::dropped(const std::string& path) {
  if (openDocument_) {
    openDocument_(path);
  } else {
    view_->form().openFile(path);
  }
}

}  // namespace tunekiln
