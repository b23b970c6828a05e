#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "wavproc/wav_process_host.h"

namespace tunekiln::test {

// A host whose user answers from a script and whose screen is a record.
class ScriptedHost : public WavProcessHost {
 public:
  std::optional<std::string> input;   // nothing: the user cancels the open dialog
  std::optional<std::string> output;  // nothing: the user cancels the save dialog
  // The user's part in the operation's own dialog; unset means the dialog must not appear.
  std::function<bool()> volumeDialog;
  std::function<bool()> cutDialog;

  std::vector<FileDialogRequest> dialogsShown;
  std::vector<std::string> messages;
  std::vector<std::int32_t> positions;
  int parameterDialogsShown = 0;

  std::optional<std::string> chooseInputFile(const FileDialogRequest& dialog) override;
  std::optional<std::string> chooseOutputFile(const FileDialogRequest& dialog) override;
  bool askVolumeMultiple() override;
  bool askCutTimes() override;
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
  void setProgress(std::int32_t position) override { positions.push_back(position); }
};

}  // namespace tunekiln::test
