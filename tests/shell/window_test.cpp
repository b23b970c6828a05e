// The real window: the program as a user starts it, and the form's roads with real widgets,
// a real engine and a real sound server, the user's dialog answers scripted.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/slider.h>
#include <wx/stattext.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "encoder/activity_mode.h"
#include "shell/form_ids.h"
#include "shell/cut_dialog.h"
#include "shell/main_frame.h"
#include "shell/volume_dialog.h"
#include "shell/wx_form_dialogs.h"
#include "tests/shell/scripted_dialogs.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {
namespace {

using namespace form_ids;

// Lets the window handle its events until `done` holds; false when it never did.
bool pump_until(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    wxTheApp->ProcessPendingEvents();
    if (auto* loop = wxEventLoopBase::GetActive()) {
      while (loop->Pending()) loop->Dispatch();
    }
    wxTheApp->ProcessIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

wxString label_of(wxWindow& frame, int id) { return static_cast<wxStaticText*>(frame.FindWindow(id))->GetLabel(); }

class Window : public ::testing::Test {
 protected:
  Window() : frame(new CMainFrame(dialogs)) {
    frame->view().OnInitialUpdate();
    frame->Show();
  }
  ~Window() override { frame->Destroy(); }

  void click(int id) {
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(frame->FindWindow(id));
    frame->FindWindow(id)->GetEventHandler()->ProcessEvent(event);
  }

  TempDir dir;
  ScriptedDialogs dialogs;
  CMainFrame* frame;
};

TEST(Startup, TheProgramShowsItsMaximisedWindowWithItsCaption) {
  TempDir home;
  const std::string environment = "HOME=" + home.path().string();
  // The program started as a user starts it, watched through the display's own tools.
  const auto result = run_program({"/bin/sh", "-c",
                                   environment + " " TUNEKILN_GUI " & pid=$!; "
                                   "id=$(timeout 20 xdotool search --sync --name '^dedodu ro3 zeziruv$' | head -n 1); "
                                   "for i in $(seq 100); do xprop -id \"$id\" _NET_WM_STATE | grep -q MAXIMIZED_HORZ && break; sleep 0.05; done; "
                                   "xprop -id \"$id\" WM_NAME _NET_WM_STATE; kill $pid; wait $pid"});
  EXPECT_NE(result.out.find("WM_NAME(STRING) = \"dedodu ro3 zeziruv\""), std::string::npos) << result.out << result.err;
  EXPECT_NE(result.out.find("_NET_WM_STATE_MAXIMIZED_VERT"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("_NET_WM_STATE_MAXIMIZED_HORZ"), std::string::npos) << result.out;
}

TEST(Startup, TheApplicationsWindowHasNoBarsAndOnlyOpenAndTheFileOperationsEnabled) {
  auto* frame = dynamic_cast<wxFrame*>(wxTheApp->GetTopWindow());
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->GetMenuBar(), nullptr);
  EXPECT_EQ(frame->GetToolBar(), nullptr);
  EXPECT_EQ(frame->GetStatusBar(), nullptr);
  for (const int id : {kOpenMp3File, kAbstractLeftChannel, kAbstractRightChannel, kClearHumanVoice,
                       kChangeSourceVolume, kCutSourceFile, kSaveToMp3File}) {
    EXPECT_TRUE(frame->FindWindow(id)->IsEnabled()) << id;
  }
  for (const int id : {kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume, kDecodeToWav}) {
    EXPECT_FALSE(frame->FindWindow(id)->IsEnabled()) << id;
  }
}

TEST(WxFormDialogs, FiltersLoseTheirClosingBarsAndIgnoreCase) {
  EXPECT_EQ(wildcard_of("MP3 File(*.mp3)|*.mp3|Wav File(*.wav)|*.wav||"),
            "MP3 File(*.mp3)|*.[mM][pP]3|Wav File(*.wav)|*.[wW][aA][vV]");
  EXPECT_EQ(wildcard_of("All Files (*.*)|*.*"), "All Files (*.*)|*.*");
}

TEST(VolumeDialog, ShowsTheFactorInDecibelsAsItIsTypedAndStoresItOnOk) {
  CVolumeDialog dialog(nullptr);
  EXPECT_EQ(dialog.GetTitle(), "change the volume of the source sound file");
  EXPECT_EQ(dialog.entry()->GetValue(), "2");
  EXPECT_EQ(dialog.decibels()->GetLabel(), "6.02");
  dialog.entry()->SetValue("10");
  EXPECT_EQ(dialog.decibels()->GetLabel(), "20.00");

  dialog.CallAfter([&] {
    dialog.entry()->SetValue("0.5");
    dialog.OnOK();
  });
  EXPECT_EQ(dialog.ShowModal(), wxID_OK);
  EXPECT_FLOAT_EQ(g_volumeMultiple, 0.5f);
}

TEST(CutDialog, StartsAtZeroAndStoresTheRangeOnOk) {
  CCutDialog dialog(nullptr);
  EXPECT_EQ(dialog.GetTitle(), "Cut Wav File");
  for (int index = 0; index < kCutFieldCount; ++index) EXPECT_EQ(dialog.field(index)->GetValue(), "0");
  dialog.CallAfter([&] {
    dialog.field(kStartMinutes)->SetValue("1");
    dialog.field(kEndHours)->SetValue("1");
    dialog.OnOK();
  });
  EXPECT_EQ(dialog.ShowModal(), wxID_OK);
  EXPECT_EQ(g_cutStartSeconds, 60u);
  EXPECT_EQ(g_cutEndSeconds, 3600u);
}

TEST_F(Window, PlayPauseSeekAndStopAnMp3) {
  write_file(dir.file("tone.mp3"), make_mp3({.tone = {.seconds = 20}}));
  dialogs.open = {dir.file("tone.mp3")};
  click(kOpenMp3File);
  EXPECT_EQ(label_of(*frame, kFileName), dir.file("tone.mp3"));
  click(kPlay);
  EXPECT_EQ(activityMode, MODE_PLAYING);
  ASSERT_TRUE(pump_until([&] { return label_of(*frame, kPlayTime) == "00:00:02"; })) << label_of(*frame, kPlayTime);
  EXPECT_EQ(label_of(*frame, kTotalTime), "00:00:20");

  click(kPause);
  auto* slider = static_cast<wxSlider*>(frame->FindWindow(kSlider));
  slider->SetValue(50);
  wxScrollEvent scroll(wxEVT_SCROLL_THUMBRELEASE, kSlider, 50, wxHORIZONTAL);
  scroll.SetEventObject(slider);
  slider->GetEventHandler()->ProcessEvent(scroll);
  click(kPlay);
  // Positions from the middle on: the seek was carried out.
  ASSERT_TRUE(pump_until([&] { return label_of(*frame, kPlayTime) >= "00:00:10"; })) << label_of(*frame, kPlayTime);
  EXPECT_GE(slider->GetValue(), 50);

  click(kStop);
  EXPECT_FALSE(frame->FindWindow(kPlay)->IsEnabled());
}

TEST_F(Window, DecodeToAWavFileAsksForItsDestinationOnTheWindowsThread) {
  write_file(dir.file("tone.mp3"), make_mp3({.tone = {.seconds = 3}}));
  dialogs.open = {dir.file("tone.mp3")};
  dialogs.save = {dir.file("decoded.wav")};
  click(kOpenMp3File);
  click(kDecodeToWav);
  ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(dir.file("decoded.wav")); }));
  const Bytes decoded = read_file(dir.file("decoded.wav"));
  EXPECT_EQ(le32(decoded, 4), decoded.size() - 8);
  EXPECT_GT(decoded.size(), 3u * 176400u);
}

TEST_F(Window, EachFileOperationEndsWithItsMessageAndAFullBar) {
  write_file(dir.file("in.wav"), make_wav({}, ramp_bytes(2 * 176400)));
  const std::pair<int, const char*> operations[] = {
      {kAbstractLeftChannel, "Abstract left channel finished!"},
      {kAbstractRightChannel, "Abstract right channel finished!"},
      {kClearHumanVoice, "clear voice  finished!"},
      {kChangeSourceVolume, "change volume  finished!"},
      {kCutSourceFile, "cut the file finished!"},
      {kSaveToMp3File, "the Mp3 file changed ok!"},
  };
  auto* gauge = static_cast<wxGauge*>(frame->FindWindow(kProgress));
  for (const auto& [id, message] : operations) {
    dialogs.open = {dir.file("in.wav")};
    dialogs.save = {dir.file("out.wav")};
    gauge->SetValue(0);
    click(id);
    ASSERT_FALSE(dialogs.messages.empty()) << id;
    EXPECT_EQ(dialogs.messages.back(), message);
    EXPECT_EQ(gauge->GetValue(), 1000000) << id;
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.wav")));
  }
}

}  // namespace
}  // namespace tunekiln::test
