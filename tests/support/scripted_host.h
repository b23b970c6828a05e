#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "encoder/save_to_mp3_host.h"

namespace tunekiln::test {

// A host whose user answers from a script and whose screen is a record; it serves the WAV
// operations and Save to MP3 alike.
class ScriptedHost : public SaveToMp3Host {
 public:
  std::optional<std::string> input;   // nothing: the user cancels the open dialog
  std::optional<std::string> output;  // nothing: the user cancels the save dialog
  // The user's part in the operation's own dialog; unset means the dialog must not appear.
  std::function<bool()> volumeDialog, cutDialog;

  std::vector<int> percents;

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return input; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return output; }
  bool askVolumeMultiple() override { return answer(volumeDialog); }
  bool askCutTimes() override { return answer(cutDialog); }
  void setProgress(std::int32_t) override {}
  void encodeProgress(int percent) override { percents.push_back(percent); }

  static bool answer(const std::function<bool()>& dialog) {
    if (!dialog) ADD_FAILURE() << "a parameter dialog appeared";
    return dialog && dialog();
  }
};

}  // namespace tunekiln::test
