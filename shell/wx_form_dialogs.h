#pragma once

#include <wx/window.h>

#include "shell/form_widgets.h"

namespace tunekiln {

// The form's dialogs as the user sees them: the desktop's file dialogs, the volume, cut and
// keep-bass dialogs, and message boxes captioned "tunekiln".
class WxFormDialogs final : public FormDialogs {
 public:
  // The dialogs are owned by `parent`, which may change once the window exists.
  explicit WxFormDialogs(wxWindow* parent = nullptr) : parent_(parent) {}
  void setParent(wxWindow* parent) { parent_ = parent; }

  std::optional<std::string> chooseFileToOpen(const FileDialogRequest& dialog) override;
  std::optional<std::string> chooseFileToSave(const FileDialogRequest& dialog) override;
  bool runVolumeDialog(const VolumeHeadroom* headroom) override;
  bool runCutDialog() override;
  bool runKeepBassDialog(bool silentResult, std::optional<double>& keepBassHz) override;
  void showMessage(std::string_view text) override;

 private:
  wxWindow* parent_;
};

// The dialog's filter list in the toolkit's form: the same pairs without the closing "||", each
// pattern matching names whatever their case ("*.[mM][pP]3"), as the desktop's dialog would not.
std::string wildcard_of(std::string_view filter);

}  // namespace tunekiln
