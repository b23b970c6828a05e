#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/form_widgets.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {

// The user's answers to the form's dialogs, taken in order, and a record of what was shown.
// With no answer left, the user cancels.
struct ScriptedDialogs final : FormDialogs {
  std::optional<std::string> chooseFileToOpen(const FileDialogRequest& dialog) override {
    filter = dialog.filter;
    return take(open);
  }
  std::optional<std::string> chooseFileToSave(const FileDialogRequest&) override { return take(save); }
  // OK with the multiple 1: one that clipped would add its count to the finish message.
  bool runVolumeDialog(const VolumeHeadroom*) override { return accept_volume_entry("1"); }
  // OK on what the dialog opened with: a range the form filled in, else the first second.
  bool runCutDialog() override {
    cutPreset = take_cut_dialog_preset();
    return accept_cut_entries(cutPreset.value_or(CutEntries{"0", "0", "0", "0", "0", "1"})).accepted;
  }
  bool runKeepBassDialog(bool silentResult, std::optional<double>& keepBassHz) override {
    keepBassAsked.push_back(silentResult);
    keepBassHz = take(keepBass);
    return keepBassHz.has_value();
  }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }

  std::vector<std::string> open, save;
  // The keep-bass dialog's answers: OK with the box ticked and a frequency.
  std::vector<double> keepBass;
  std::optional<CutEntries> cutPreset;  // the last cut dialog's
  std::vector<bool> keepBassAsked;  // for each time it was shown, whether for a silent result
  std::string_view filter;          // the last open dialog's
  std::vector<std::string> messages;

  template <typename Answer>
  static std::optional<Answer> take(std::vector<Answer>& answers) {
    if (answers.empty()) return std::nullopt;
    const Answer answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
};

}  // namespace tunekiln::test
