#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/form_widgets.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {

// The user's answers to the form's dialogs, taken in order, and a record of what was shown.
class ScriptedDialogs final : public FormDialogs {
 public:
  std::optional<std::string> chooseFileToOpen(const FileDialogRequest& dialog) override { return next(open, dialog); }
  std::optional<std::string> chooseFileToSave(const FileDialogRequest& dialog) override { return next(save, dialog); }
  // OK with the multiple 1: one that clipped would add its count to the finish message.
  bool runVolumeDialog(const VolumeHeadroom*) override { return accept_volume_entry("1"); }
  bool runCutDialog() override { return accept_cut_entries({"0", "0", "0", "0", "0", "1"}).accepted; }
  bool runKeepBassDialog(bool silentResult, std::optional<double>& keepBassHz) override {
    keepBassAsked.push_back(silentResult);
    if (keepBass.empty()) return false;
    const auto answer = keepBass.front();
    keepBass.erase(keepBass.begin());
    if (answer) keepBassHz = *answer;
    return answer.has_value();
  }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }

  std::vector<std::optional<std::string>> open, save;  // nothing, or no answer left: the user cancels
  // The keep-bass dialog: OK with a frequency (nothing: unticked), or no answer left: Cancel.
  std::vector<std::optional<std::optional<double>>> keepBass;
  std::vector<bool> keepBassAsked;  // for each time it was shown, whether for a silent result
  std::vector<FileDialogRequest> requests;
  std::vector<std::string> messages;

 private:
  std::optional<std::string> next(std::vector<std::optional<std::string>>& answers, const FileDialogRequest& dialog) {
    requests.push_back(dialog);
    if (answers.empty()) return std::nullopt;
    const auto answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
};

}  // namespace tunekiln::test
