#include "shell/main_frame.h"

#include <wx/accel.h>
#include <wx/sizer.h>

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

}  // namespace

CMainFrame::CMainFrame(FormDialogs& dialogs)
    : wxFrame(nullptr, wxID_ANY, wxString::FromUTF8(strings::kAppTitle.data(), strings::kAppTitle.size())) {
  SetIcons(application_icons());
  view_ = new CTunekilnView(this, dialogs);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(view_, 1, wxEXPAND);
  SetSizerAndFit(sizer);
  SetAcceleratorTable(accelerator_table());
}

}  // namespace tunekiln
