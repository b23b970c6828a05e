// What only the real window shows, under a display: the program as a user starts it, its own
// dialogs, files opened from the command line or dropped, its keys, and each of its buttons reaching the form with a real engine and sound server. The answers to the
// file dialogs and message boxes are scripted; what the form then does is main_form_test's.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/scrolwin.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/init.h>
#include <wx/xrc/xmlres.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "engine/mixer.h"
#include "shell/cut_dialog.h"
#include "shell/form_ids.h"
#include "shell/keep_bass_dialog.h"
#include "shell/main_frame.h"
#include "shell/tunekiln_app.h"
#include "shell/volume_dialog.h"
#include "shell/wx_form_dialogs.h"
#include "tests/shell/scripted_dialogs.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using namespace form_ids;
using namespace std::chrono_literals;

// Lets the window and the display handle their events until `done` holds; false when it never did.
bool pump_until(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
  for (const auto deadline = std::chrono::steady_clock::now() + limit; !done(); std::this_thread::sleep_for(5ms)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    wxTheApp->ProcessPendingEvents();
    while (wxEventLoopBase::GetActive()->Pending()) wxEventLoopBase::GetActive()->Dispatch();
    wxTheApp->ProcessIdle();
  }
  return true;
}

wxWindow* control(wxWindow& frame, std::string_view name) {
  return frame.FindWindow(wxXmlResource::GetXRCID(wxString(name.data(), name.size())));
}
std::string label_of(wxWindow& frame, std::string_view name) {
  return static_cast<wxStaticText*>(control(frame, name))->GetLabel().utf8_string();
}

// The application's own window as it starts, maximised on a desktop smaller than the form, with
// every control within reach of its scroll bars; then the file given on the command line, a
// dropped one, and Ctrl+S, which leaves the open file alone.
TEST(Program, StartsWithEveryControlInReachAndPlaysTheCommandLinesFileOrADroppedOne) {
  CMainFrame& frame = *dynamic_cast<CMainFrame*>(wxTheApp->GetTopWindow());
  std::string buttons;
  for (const auto id : {kOpenMp3File, kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume, kDecodeToWav,
                        kAbstractLeftChannel, kAbstractRightChannel, kClearHumanVoice, kChangeSourceVolume,
                        kCutSourceFile, kSaveToMp3File})
    buttons += control(frame, id)->IsEnabled() ? 'E' : 'D';
  EXPECT_EQ(buttons, "EDDDDDDEEEEEE");
  EXPECT_TRUE(pump_until([&] { return frame.IsMaximized(); }));
  const wxRect desktop = wxDisplay(&frame).GetGeometry();
  ASSERT_TRUE(pump_until([&] { return desktop.Contains(wxRect(frame.GetScreenPosition(), frame.GetClientSize())); }));
  auto* scroller = dynamic_cast<wxScrolledWindow*>(frame.view().GetParent());
  ASSERT_LT(scroller->GetClientSize().x, frame.view().GetSize().x) << "the desktop is larger than the form";
  int unitX = 0, unitY = 0;
  scroller->GetScrollPixelsPerUnit(&unitX, &unitY);
  EXPECT_TRUE(unitX > 0 && unitY > 0) << "it scrolls";
  for (wxWindow* child : frame.view().GetChildren())
    EXPECT_TRUE(wxRect(scroller->GetVirtualSize()).Contains(child->GetRect())) << child->GetName();

  static const TempDir dir;  // the engine may open the files after the test: they stay until the end
  const Bytes song = make_mp3({.tone = {.seconds = 2}});
  write_file(dir.file("a.mp3"), song);
  write_file(dir.file("b.MP3"), song);
  static_cast<CTunekilnApp*>(wxTheApp)->openDocument(dir.file("a.mp3"));
  EXPECT_EQ(label_of(frame, kFileName), dir.file("a.mp3"));
  frame.dropped(dir.file("b.MP3"));
  EXPECT_EQ(label_of(frame, kFileName), dir.file("b.MP3"));
  wxCommandEvent save(wxEVT_MENU, wxID_SAVE);
  frame.ProcessWindowEvent(save);
  EXPECT_EQ(read_file(dir.file("b.MP3")), song);
}

// Runs a dialog as the user does: `answer` types into it and presses OK.
void run_dialog(wxDialog& dialog, std::function<void()> answer) {
  dialog.CallAfter(std::move(answer));
  EXPECT_EQ(dialog.ShowModal(), wxID_OK) << dialog.GetTitle();
}

// The file dialogs list upper-case names too.
TEST(Dialogs, FiltersIgnoreCaseAndVolumeCutAndKeepBassHandOnWhatWasTypedOnOk) {
  EXPECT_EQ(wildcard_of("MP3 File(*.mp3)|*.mp3|Wav File(*.wav)|*.wav||"),
            "MP3 File(*.mp3)|*.[mM][pP]3|Wav File(*.wav)|*.[wW][aA][vV]");
  CVolumeDialog volume(nullptr);
  run_dialog(volume, [&] { volume.entry()->SetValue("10"), volume.OnOK(); });
  EXPECT_FLOAT_EQ(g_volumeMultiple, 10.0f);

  CCutDialog cut(nullptr);
  run_dialog(cut, [&] {
    for (int index = 0; index < kCutFieldCount; ++index) cut.field(index)->SetValue(std::to_string(index + 1));
    cut.OnOK();
  });
  EXPECT_EQ(std::pair(g_cutStartSeconds, g_cutEndSeconds), std::pair(3723u, 14706u)) << "1:02:03 to 4:05:06";

  KeepBassDialog keepBass(nullptr, true);
  run_dialog(keepBass, [&] { keepBass.hz()->SetValue("80.5"), keepBass.OnOK(); });
  EXPECT_EQ(keepBass.keepBassHz(), 80.5);
  run_dialog(keepBass, [&] { keepBass.keep()->SetValue(false), keepBass.OnOK(); });
  EXPECT_EQ(keepBass.keepBassHz(), std::nullopt);
}

// With a real engine and sound server: each button reaches the form, and what the engine
// reports, or asks from its own thread, reaches the window; then Ctrl+Q closes it at once.
TEST(Window, EachButtonAndCtrlQReachTheFormAndTheEnginesReportsAndQuestionsReachTheWindow) {
  TempDir dir;
  ScriptedDialogs dialogs;
  // Destroyed with the test even when a check ends it early.
  const std::unique_ptr<CMainFrame, void (*)(CMainFrame*)> frame(new CMainFrame(dialogs), [](CMainFrame* gone) { gone->Destroy(); });
  frame->view().OnInitialUpdate();
  const auto click = [&](std::string_view id) {
    wxCommandEvent event(wxEVT_BUTTON, control(*frame, id)->GetId());
    control(*frame, id)->ProcessWindowEvent(event);
  };
  write_file(dir.file("tone.mp3"), make_mp3({.tone = {.seconds = 20}}));
  dialogs.open = {dir.file("tone.mp3")};
  click(kOpenMp3File);
  click(kPlay);
  ASSERT_TRUE(pump_until([&] { return label_of(*frame, kPlayTime) == "00:00:02"; })) << label_of(*frame, kPlayTime);
  // By ten, no further than the top or the bottom.
  for (const auto& [id, from, to] : {std::tuple{kIncreaseVolume, 95u, 100u}, {kDecreaseVolume, 5u, 0u}, {kIncreaseVolume, 90u, 100u}}) {
    mixer_set_volume(*frame->view().form().player(), from);
    click(id);
    EXPECT_EQ(mixer_get_volume(*frame->view().form().player()), to) << id;
  }
  click(kPause);
  auto* slider = static_cast<wxSlider*>(control(*frame, kSlider));
  slider->SetValue(50);
  wxScrollEvent scroll(wxEVT_SCROLL_THUMBRELEASE, slider->GetId(), 50, wxHORIZONTAL);
  slider->ProcessWindowEvent(scroll);
  click(kPlay);
  // Sooner than playing on from two seconds would get there.
  ASSERT_TRUE(pump_until([&] { return label_of(*frame, kPlayTime) >= "00:00:10"; }, 6s)) << "the seek was carried out";
  click(kStop);
  EXPECT_FALSE(control(*frame, kPlay)->IsEnabled());

  dialogs.open = {dir.file("tone.mp3")};
  dialogs.save = {dir.file("decoded.wav")};  // asked on the window's thread, answered to the engine's
  click(kOpenMp3File);
  click(kDecodeToWav);
  ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(dir.file("decoded.wav")); }));  // whole, or not there
  EXPECT_GT(read_file(dir.file("decoded.wav")).size(), 19u * 176400u);

  write_file(dir.file("in.wav"), make_wav({}, ramp_bytes(2 * 176400)));
  const std::string in = dir.file("in.wav"), out = dir.file("out.wav"), nowhere = dir.file("none/out.wav");
  auto* bar = static_cast<wxGauge*>(control(*frame, kProgress));
  // Each failure is shown under the window, and the same operation then finishes.
  const std::tuple<std::string_view, std::string, std::string, std::string> runs[] = {
      {kAbstractLeftChannel, in, out, "Abstract left channel finished!"},
      {kAbstractRightChannel, in, out, "Abstract right channel finished!"},
      {kClearHumanVoice, in, nowhere, "Open the output wav file error!"},
      {kClearHumanVoice, in, out, "clear voice  finished!"},
      {kChangeSourceVolume, in, out, "change volume  finished!"},
      {kCutSourceFile, in, out, "cut the file finished!"},
      {kSaveToMp3File, nowhere, out, "Could not find \"" + nowhere + "\"."},
      {kSaveToMp3File, in, out, "the Mp3 file changed ok!"},
  };
  for (const auto& [id, input, output, message] : runs) {
    dialogs.open = {input};
    dialogs.save = {output};
    dialogs.messages.clear();
    bar->SetValue(0);
    click(id);
    EXPECT_EQ(dialogs.messages, std::vector{message}) << id;
    EXPECT_EQ(bar->GetValue() == 1000000, input == in && output == out) << id;
  }
  wxCommandEvent quit(wxEVT_MENU, wxID_EXIT);
  frame->ProcessWindowEvent(quit);
  EXPECT_TRUE(wxPendingDelete.Member(frame.get()));  // goes once the events now queued are handled
}

}  // namespace
}  // namespace tunekiln::test

wxIMPLEMENT_APP_NO_MAIN(tunekiln::CTunekilnApp);

// The tests run inside the real application object.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);  // takes its own flags out of argv first
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 1;
  // Under a loop as active as the application's own, through which the display's events come.
  const int status = [] {
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    return RUN_ALL_TESTS();
  }();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return status;
}
