#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/form_widgets.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {

// The user's answers to the form's dialogs, taken in order, and a record of what was shown.
struct ScriptedDialogs final : FormDialogs {
  std::optional<std::string> chooseFileToOpen(const FileDialogRequest& dialog) override {
    requests.push_back(dialog);
    return take(open);
  }
  std::optional<std::string> chooseFileToSave(const FileDialogRequest& dialog) override {
    requests.push_back(dialog);
    return take(save);
  }
  // OK with the multiple 1: one that clipped would add its count to the finish message.
  bool runVolumeDialog(const VolumeHeadroom*) override { return accept_volume_entry("1"); }
  bool runCutDialog() override { return accept_cut_entries({"0", "0", "0", "0", "0", "1"}).accepted; }
  bool runKeepBassDialog(bool silentResult, std::optional<double>& keepBassHz) override {
    keepBassAsked.push_back(silentResult);
    const auto answer = take(keepBass);
    if (answer) keepBassHz = *answer;
    return answer.has_value();
  }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }

  // Nothing, or no answer left: the user cancels.
  std::vector<std::optional<std::string>> open, save;
  // The keep-bass dialog: OK with a frequency (nothing: unticked); nothing left: Cancel.
  std::vector<std::optional<std::optional<double>>> keepBass;
  std::vector<bool> keepBassAsked;  // for each time it was shown, whether for a silent result
  std::vector<FileDialogRequest> requests;
  std::vector<std::string> messages;

  template <typename Answer>
  static std::optional<Answer> take(std::vector<std::optional<Answer>>& answers) {
    if (answers.empty()) return std::nullopt;
    const auto answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
};

}  // namespace tunekiln::test
