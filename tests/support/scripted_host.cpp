#include "tests/support/scripted_host.h"

#include <gtest/gtest.h>

namespace tunekiln::test {

std::optional<std::string> ScriptedHost::chooseInputFile(const FileDialogRequest& dialog) {
  dialogsShown.push_back(dialog);
  return input;
}

std::optional<std::string> ScriptedHost::chooseOutputFile(const FileDialogRequest& dialog) {
  dialogsShown.push_back(dialog);
  return output;
}

bool ScriptedHost::askVolumeMultiple() {
  ++parameterDialogsShown;
  if (!volumeDialog) {
    ADD_FAILURE() << "the volume dialog appeared";
    return false;
  }
  return volumeDialog();
}

bool ScriptedHost::askCutTimes() {
  ++parameterDialogsShown;
  if (!cutDialog) {
    ADD_FAILURE() << "the cut dialog appeared";
    return false;
  }
  return cutDialog();
}

}  // namespace tunekiln::test
