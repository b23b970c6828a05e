// The real window: the program as a user starts it, and the form's roads with real widgets,
// a real engine and a real sound server, the user's dialog answers scripted.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/slider.h>
#include <wx/display.h>
#include <wx/scrolwin.h>
#include <wx/stattext.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "shell/activity_mode.h"
#include "shell/form_ids.h"
#include "shell/cut_dialog.h"
#include "shell/main_frame.h"
#include "shell/message_box.h"
#include "shell/tunekiln_app.h"
#include "shell/keep_bass_dialog.h"
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
  // The display's own events (sizes, the window manager's answers) need a loop to come through.
  std::optional<wxGUIEventLoop> ownLoop;
  std::optional<wxEventLoopActivator> activeLoop;
  if (wxEventLoopBase::GetActive() == nullptr) activeLoop.emplace(&ownLoop.emplace());
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

TEST(Startup, HelpAndVersionNeedNoDisplayAndSucceed) {
  const auto help = run_program({"/usr/bin/env", "-u", "DISPLAY", TUNEKILN_GUI, "--help"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_NE(help.out.find("Usage: tunekiln [FILE]"), std::string::npos) << help.out;
  const auto version = run_program({"/usr/bin/env", "-u", "DISPLAY", TUNEKILN_GUI, "--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out.rfind("tunekiln ", 0), 0u) << version.out;
}

CMainFrame& application_frame() { return *dynamic_cast<CMainFrame*>(wxTheApp->GetTopWindow()); }

TEST(Startup, EveryControlCanBeScrolledIntoSightOnASmallDesktop) {
  CMainFrame& frame = application_frame();
  const wxRect desktop = wxDisplay(&frame).GetGeometry();
  const auto fitsDesktop = [&] { return desktop.Contains(wxRect(frame.GetScreenPosition(), frame.GetClientSize())); };
  ASSERT_TRUE(pump_until(fitsDesktop, std::chrono::seconds(3))) << "the window manager fits the window to the desktop";
  auto* scroller = dynamic_cast<wxScrolledWindow*>(frame.view().GetParent());
  ASSERT_NE(scroller, nullptr);
  ASSERT_LT(scroller->GetClientSize().x, frame.view().GetSize().x) << "the desktop is larger than the form";
  int unitX = 0;
  int unitY = 0;
  scroller->GetScrollPixelsPerUnit(&unitX, &unitY);
  const auto scrolledInSight = [&](wxPoint corner) {
    // Scrolled as a user would, just far enough to bring a control's corner into sight.
    const wxSize client = scroller->GetClientSize();
    scroller->Scroll(std::max(0, (corner.x + 1 - client.x + unitX - 1) / unitX),
                     std::max(0, (corner.y + 1 - client.y + unitY - 1) / unitY));
    wxRect inSight(scroller->GetScreenPosition(), client);
    return inSight.Intersect(desktop).Contains(frame.view().ClientToScreen(corner));
  };
  for (wxWindow* control : frame.view().GetChildren()) {
    const wxRect place = control->GetRect();
    EXPECT_TRUE(scrolledInSight(place.GetTopLeft())) << control->GetId();
    EXPECT_TRUE(scrolledInSight(place.GetBottomRight())) << control->GetId();
  }
  scroller->Scroll(0, 0);
}

TEST(Document, TheCommandLinesFileOrADroppedOneIsPlayedAndCtrlSLeavesItAlone) {
  // The engine may open the files after the test has returned: they stay until the program ends.
  static const TempDir dir;
  const Bytes song = make_mp3({.tone = {.seconds = 2}});
  write_file(dir.file("a.mp3"), song);
  write_file(dir.file("b.MP3"), song);
  CMainFrame& frame = application_frame();
  static_cast<CTunekilnApp*>(wxTheApp)->openDocument(dir.file("a.mp3"));  // as from the command line
  EXPECT_EQ(label_of(frame, kFileName), dir.file("a.mp3"));
  for (const int id : {kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume, kDecodeToWav}) {
    EXPECT_TRUE(frame.FindWindow(id)->IsEnabled()) << id;
  }
  frame.dropped(dir.file("b.MP3"));
  EXPECT_EQ(label_of(frame, kFileName), dir.file("b.MP3"));

  wxCommandEvent save(wxEVT_MENU, wxID_SAVE);  // Ctrl+S
  frame.GetEventHandler()->ProcessEvent(save);
  EXPECT_EQ(read_file(dir.file("b.MP3")), song);
  EXPECT_EQ(read_file(dir.file("a.mp3")), song);
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

TEST(MessageBox, IsWideEnoughForItsCaptionAndEveryLineOfItsText) {
  for (const std::string text : {"请先打开文件!", "Failed to open document.\n/home/someone/Music/a rather long "
                                                 "folder name/and a song with a long title.mp3: Permission denied"}) {
    MessageBox box(nullptr, text);
    EXPECT_EQ(box.GetTitle(), "tunekiln");
    wxWindow* label = box.GetChildren().GetFirst()->GetData();
    EXPECT_GE(label->GetSize().x, label->GetBestSize().x) << text;
    EXPECT_LE(label->GetRect().GetRight(), box.GetClientSize().x) << text;
    // The caption beside the title bar's icon and three buttons.
    EXPECT_GE(box.GetSize().x, 3 * box.GetTextExtent("tunekiln").x) << text;
  }
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

TEST(KeepBassDialog, GivesTheTypedFrequencyWhenTickedAndNothingWhenNot) {
  KeepBassDialog dialog(nullptr, true);
  EXPECT_EQ(dialog.GetTitle(), "Clear Human Voice");
  EXPECT_TRUE(dialog.keep()->GetValue());
  EXPECT_EQ(dialog.hz()->GetValue(), "120");
  dialog.CallAfter([&] {
    dialog.hz()->SetValue("80.5");
    dialog.OnOK();
  });
  EXPECT_EQ(dialog.ShowModal(), wxID_OK);
  EXPECT_EQ(dialog.keepBassHz(), 80.5);
  dialog.CallAfter([&] {
    dialog.keep()->SetValue(false);
    dialog.OnOK();
  });
  EXPECT_EQ(dialog.ShowModal(), wxID_OK);
  EXPECT_EQ(dialog.keepBassHz(), std::nullopt);
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

TEST_F(Window, AShortSongPlaysToItsLastHeardSecondAndLeavesTheButtonsAsAtStartUp) {
  write_file(dir.file("short.mp3"), make_mp3({.tone = {.seconds = 3}}));
  dialogs.open = {dir.file("short.mp3")};
  click(kOpenMp3File);
  click(kPlay);
  ASSERT_TRUE(pump_until([&] { return frame->FindWindow(kOpenMp3File)->IsEnabled(); }));
  EXPECT_GE(label_of(*frame, kPlayTime), "00:00:02");
  EXPECT_FALSE(frame->FindWindow(kPlay)->IsEnabled());
  EXPECT_EQ(static_cast<wxSlider*>(frame->FindWindow(kSlider))->GetValue(), 0);
}

TEST_F(Window, WithoutASoundServerPlaySaysSoOnce) {
  const std::string server = std::getenv("PULSE_SERVER") != nullptr ? std::getenv("PULSE_SERVER") : "";
  ::setenv("PULSE_SERVER", ("unix:" + dir.file("no-server")).c_str(), 1);
  write_file(dir.file("tone.mp3"), make_mp3({.tone = {.seconds = 3}}));
  dialogs.open = {dir.file("tone.mp3")};
  click(kOpenMp3File);
  click(kPlay);
  const bool told = pump_until([&] { return frame->FindWindow(kOpenMp3File)->IsEnabled(); });
  ::setenv("PULSE_SERVER", server.c_str(), 1);
  ASSERT_TRUE(told);
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"No sound output could be opened!"});
}

TEST(Keys, CtrlWAndCtrlQCloseTheWindow) {
  ScriptedDialogs dialogs;
  for (const int command : {wxID_CLOSE, wxID_EXIT}) {
    auto* frame = new CMainFrame(dialogs);
    frame->Show();
    wxCommandEvent key(wxEVT_MENU, command);
    frame->GetEventHandler()->ProcessEvent(key);
    EXPECT_TRUE(wxPendingDelete.Member(frame)) << command;  // goes once the events now queued are handled
  }
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
  dialogs.multiple = "1";  // a multiple that clips would add its count to the message
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
