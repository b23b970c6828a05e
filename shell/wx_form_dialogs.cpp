#include "shell/wx_form_dialogs.h"

#include <wx/filedlg.h>
#include <wx/filename.h>

#include <cctype>

#include "resources/strings.h"
#include "shell/cut_dialog.h"
#include "shell/keep_bass_dialog.h"
#include "shell/message_box.h"
#include "shell/volume_dialog.h"

namespace tunekiln {
namespace {

wxString from_utf8(std::string_view text) { return wxString::FromUTF8(text.data(), text.size()); }

std::optional<std::string> run_file_dialog(wxWindow* parent, const FileDialogRequest& dialog, long style) {
  wxFileDialog chooser(parent, wxFileSelectorPromptStr, "", "", from_utf8(wildcard_of(dialog.filter)), style);
  if (chooser.ShowModal() != wxID_OK) return std::nullopt;
  return with_default_extension(chooser.GetPath().utf8_string(), dialog);
}

}  // namespace

std::string wildcard_of(std::string_view filter) {
  while (filter.ends_with('|')) filter.remove_suffix(1);
  // Fields alternate between a description and its patterns; only the patterns change.
  std::string wildcard;
  bool pattern = false;
  for (const char c : filter) {
    if (c == '|') {
      pattern = !pattern;
      wildcard += c;
    } else if (pattern && std::isalpha(static_cast<unsigned char>(c))) {
      wildcard += {'[', static_cast<char>(std::tolower(c)), static_cast<char>(std::toupper(c)), ']'};
    } else {
      wildcard += c;
    }
  }
  return wildcard;
}

std::optional<std::string> WxFormDialogs::chooseFileToOpen(const FileDialogRequest& dialog) {
  // The file need not exist: the operation that uses it says so when it cannot be opened.
  return run_file_dialog(parent_, dialog, wxFD_OPEN);
}

std::optional<std::string> WxFormDialogs::chooseFileToSave(const FileDialogRequest& dialog) {
  for (;;) {
    auto path = run_file_dialog(parent_, dialog, wxFD_SAVE);
    // Asked here rather than by the dialog, so that the question is about the name with the
    // default extension added.
    if (!path || !wxFileName::Exists(from_utf8(*path))) return path;
    const wxString question = wxString::Format("%s already exists.\nDo you want to replace it?",
                                               wxFileName(from_utf8(*path)).GetFullName());
    if (show_message_box(parent_, question.utf8_string(), wxYES_NO) == wxID_YES) return path;
  }
}

bool WxFormDialogs::runVolumeDialog(const VolumeHeadroom* headroom) {
  CVolumeDialog dialog(parent_, headroom);
  return dialog.ShowModal() == wxID_OK;
}

bool WxFormDialogs::runKeepBassDialog(bool silentResult, std::optional<double>& keepBassHz) {
  KeepBassDialog dialog(parent_, silentResult);
  if (dialog.ShowModal() != wxID_OK) return false;
  keepBassHz = dialog.keepBassHz();
  return true;
}

bool WxFormDialogs::runCutDialog() {
  CCutDialog dialog(parent_);
  return dialog.ShowModal() == wxID_OK;
}

void WxFormDialogs::showMessage(std::string_view text) {
  show_message_box(parent_, text);
}

}  // namespace tunekiln
