// The form after a failed file operation: the user has seen why, and the next one works.
#include <gtest/gtest.h>

#include <filesystem>

#include "shell/main_form.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class NoWidgets final : public FormWidgets {
 public:
  void enable(int, bool) override {}
  void setLabel(int, std::string_view) override {}
  void setSliderRange(int, int) override {}
  int sliderPosition() override { return 0; }
  void setSliderPosition(int) override {}
  void setProgressRange(std::int32_t) override {}
  void setProgressPosition(std::int32_t) override {}
};

// The user picks `input` and `output` in every file dialog.
class ScriptedDialogs final : public FormDialogs {
 public:
  std::optional<std::string> chooseFileToOpen(const FileDialogRequest&) override { return input; }
  std::optional<std::string> chooseFileToSave(const FileDialogRequest&) override { return output; }
  bool runVolumeDialog() override { return false; }
  bool runCutDialog() override { return false; }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }

  std::string input, output;
  std::vector<std::string> messages;
};

TEST(FormFaults, AFailedOperationShowsWhyAndTheNextOneFinishes) {
  TempDir dir;
  write_file(dir.file("in.wav"), make_wav({}, ramp_bytes(40000)));
  NoWidgets widgets;
  ScriptedDialogs dialogs;
  NotificationQueue notifications;
  MainForm form(widgets, dialogs, notifications, [] { return EngineSlots{}; });
  form.OnInitialUpdate();

  const struct {
    void (MainForm::*operation)();
    std::string input, output, failure, finished;
  } runs[] = {
      {&MainForm::OnClearHumanVoice, dir.file("in.wav"), dir.file("none/out.wav"), "Open the output wav file error!",
       "clear voice  finished!"},
      {&MainForm::OnSaveToMp3File, dir.file("none.wav"), dir.file("out.mp3"),
       "Could not find \"" + dir.file("none.wav") + "\".", "the Mp3 file changed ok!"},
      // Said on the error stream too, which nobody reads under a window.
      {&MainForm::OnSaveToMp3File, dir.file("in.wav"), dir.file("none/out.mp3"),
       "Can't init outfile '" + dir.file("none/out.mp3") + "'", "the Mp3 file changed ok!"},
  };
  for (const auto& run : runs) {
    dialogs.messages.clear();
    dialogs.input = run.input;
    dialogs.output = run.output;
    (form.*run.operation)();
    EXPECT_FALSE(std::filesystem::exists(run.output));
    dialogs.input = dir.file("in.wav");
    dialogs.output = dir.file("out");
    (form.*run.operation)();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{run.failure, run.finished}));
    EXPECT_TRUE(std::filesystem::exists(dir.file("out")));
    std::filesystem::remove(dir.file("out"));
  }
}

}  // namespace
}  // namespace tunekiln::test
