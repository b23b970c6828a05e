// What only the real window shows, under a display: the program as a user starts it on a small
// desktop, its keys, dropped files and own dialogs, and each button reaching the form with a
// real engine and sound server. The form's file dialogs and messages are scripted.
#include <gtest/gtest.h>
#include <wx/display.h>
#include <wx/dnd.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/init.h>
#include <wx/scrolwin.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include <fnmatch.h>

#include <functional>

#include "engine/mixer.h"
#include "resources/strings.h"
#include "shell/cut_dialog.h"
#include "shell/form_ids.h"
#include "shell/main_frame.h"
#include "shell/waveform_strip.h"
#include "shell/message_box.h"
#include "shell/tunekiln_app.h"
#include "shell/wx_form_dialogs.h"
#include "tests/shell/scripted_dialogs.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/wav_builder.h"
#include "wavproc/wav_texts.h"

namespace tunekiln::test {
namespace {

using namespace form_ids;
using namespace std::chrono_literals;

// Lets the window and the display handle their events until `done` holds; false when it never did.
bool pump_until(const std::function<bool()>& done) {
  for (const auto end = std::chrono::steady_clock::now() + 20s; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    wxTheApp->ProcessPendingEvents();
    wxEventLoopBase::GetActive()->DispatchTimeout(5);
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

// Ctrl and a key pressed on the window, as the toolkit handles it; whether anything took its command.
bool press_ctrl(wxWindow& frame, int key) {
  wxKeyEvent event(wxEVT_KEY_DOWN);
  event.m_keyCode = key;
  event.SetControlDown(true);
  wxCommandEvent command(wxEVT_MENU, frame.GetAcceleratorTable()->GetCommand(event));
  return command.GetId() != wxID_NONE && frame.ProcessWindowEvent(command);
}

TEST(Program, FitsASmallDesktopAndTakesADroppedFile) {
  CMainFrame& frame = *dynamic_cast<CMainFrame*>(wxTheApp->GetTopWindow());
  const wxRect desktop = wxDisplay(&frame).GetGeometry();
  EXPECT_TRUE(pump_until([&] {
    return frame.IsMaximized() && desktop.Contains(wxRect(frame.GetScreenPosition(), frame.GetClientSize()));
  }));
  // The rows of buttons wrap within the window's width; the far corner of the controls comes
  // into sight once the form is scrolled down as far as it goes.
  auto* scroller = dynamic_cast<wxScrolledWindow*>(frame.view().GetParent());
  wxRect controls;
  for (wxWindow* child : frame.view().GetChildren()) controls.Union(child->GetRect());
  EXPECT_LE(controls.GetRight(), scroller->GetClientSize().x);
  scroller->Scroll(0, 10000);
  const wxPoint farCorner = frame.view().GetPosition() + controls.GetBottomRight();
  EXPECT_TRUE(wxRect(scroller->GetClientSize()).Contains(farCorner));

  static const TempDir dir;  // the engine may open the file after the test
  const std::string song = dir.file("a.MP3");
  write_file(song, make_mp3({.tone = {.seconds = 2}}));
  static_cast<wxFileDropTarget*>(frame.GetDropTarget())->OnDropFiles(0, 0, wxSplit(song, '\n'));
  EXPECT_EQ(label_of(frame, kFileName), song);
}

// Presses OK as the user does; whether that raised a message box, closed at once.
bool press_ok(wxDialog& dialog) {
  static bool said;
  said = false;
  wxTheApp->CallAfter([] {
    for (wxWindow* window : wxTopLevelWindows) {
      auto* box = dynamic_cast<MessageBox*>(window);
      if (!box || !box->IsModal()) continue;
      EXPECT_EQ(box->GetTitle().utf8_string(), strings::kAppTitle);
      said = true;
      box->EndModal(wxID_OK);
    }
  });
  wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
  dialog.ProcessWindowEvent(ok);
  EXPECT_EQ(dialog.IsModal(), said) << "a refused entry keeps the dialog open";
  return said;
}

// The window's preset fills the fields: here an end past the hours the dialog allows.
TEST(Dialogs, CutRefusesABadFieldAndHandsOnWhatWasTyped) {
  g_cutDialogPreset = cut_entries_ms(0, 24 * 3600000);
  CCutDialog cut(nullptr);
  std::vector<wxTextCtrl*> fields;  // in the order the user tabs through them
  for (wxWindow* child : cut.GetChildren())
    if (auto* field = dynamic_cast<wxTextCtrl*>(child)) fields.push_back(field);
  ASSERT_EQ(fields.size(), 8u);
  cut.CallAfter([&] {
    EXPECT_TRUE(press_ok(cut));
    EXPECT_EQ(wxWindow::FindFocus(), fields[4]) << "on the entry refused";
    for (std::size_t field = 0; field < fields.size(); ++field)
      fields[field]->SetValue(std::to_string(field + 1));
    cut.fadeEdges()->SetValue(true);
    EXPECT_FALSE(press_ok(cut));
  });
  EXPECT_EQ(cut.ShowModal(), wxID_OK);
  EXPECT_EQ(std::tuple(g_cutRange.start.value, g_cutRange.end.value, g_cutRange.fadeMs),
            std::tuple(((1u * 60 + 2) * 60 + 3) * 1000 + 4, ((5u * 60 + 6) * 60 + 7) * 1000 + 8, 5u));
}

// With a real engine and sound server: each button reaches the form, and what the engine
// reports reaches the window; then Ctrl+Q closes it at once.
TEST(Window, ButtonsKeysAndReportsReachTheForm) {
  TempDir dir;
  ScriptedDialogs dialogs;
  // Destroyed with the test even when a check ends it early.
  const std::unique_ptr<CMainFrame, void (*)(CMainFrame*)> frame(new CMainFrame(dialogs),
                                                                 [](CMainFrame* gone) { gone->Destroy(); });
  frame->view().OnInitialUpdate();
  const auto click = [&](std::string_view id) {
    wxCommandEvent event(wxEVT_BUTTON, control(*frame, id)->GetId());
    control(*frame, id)->ProcessWindowEvent(event);
  };
  const std::string tone = dir.file("tone.mp3");
  write_file(tone, make_mp3({.tone = {.seconds = 20}}));
  dialogs.open = {tone};
  click(kOpenMp3File);
  // As the desktop's dialog matches them: MP3 and WAV files in any case, and nothing else.
  const wxArrayString fields = wxSplit(wildcard_of(dialogs.filter), '|');
  const auto listed = [&](const char* name) {
    for (std::size_t pattern = 1; pattern < fields.size(); pattern += 2)
      if (fnmatch(fields[pattern].c_str(), name, 0) == 0) return true;
    return false;
  };
  EXPECT_TRUE(listed("a.mp3") && listed("B.Wav") && !listed("c.txt"));
  click(kPlay);
  ASSERT_TRUE(pump_until([&] { return label_of(*frame, kPlayTime) == "00:00:02"; }));
  Player& player = *frame->view().form().player();
  // By ten, no further than the top or the bottom.
  for (const auto& [id, from, to] : {std::tuple{kIncreaseVolume, 37u, 47u}, {kDecreaseVolume, 5u, 0u}}) {
    mixer_set_volume(player, from);
    click(id);
    EXPECT_EQ(mixer_get_volume(player), to) << id;
  }
  click(kStop);

  const std::string in = dir.file("in.wav");
  write_file(in, make_wav({}, ramp_bytes(2 * 176400)));
  auto* bar = static_cast<wxGauge*>(control(*frame, kProgress));
  const std::pair<std::string_view, std::string_view> runs[] = {
      {kAbstractLeftChannel, wav_texts::kLeftFinished},
      {kAbstractRightChannel, wav_texts::kRightFinished},
      {kClearHumanVoice, wav_texts::kClearVoiceFinished},
      {kChangeSourceVolume, wav_texts::kChangeVolumeFinished},
      {kCutSourceFile, wav_texts::kCutFinished},
      {kSaveToMp3File, "ok"},
  };
  for (const auto& [id, says] : runs) {
    dialogs.open = {in};
    dialogs.save = {dir.file("out.wav")};
    dialogs.messages.clear();
    bar->SetValue(0);
    click(id);
    ASSERT_EQ(dialogs.messages.size(), 1u) << id;
    EXPECT_NE(dialogs.messages[0].find(says), std::string::npos) << id;
    EXPECT_EQ(bar->GetValue(), bar->GetRange()) << id;
  }
  // Silent, then a full-scale square: the strip's columns are flat, then as tall as it is.
  const WavShape mono{.channels = 1, .sampleRate = 8000};
  std::vector<double> half(8000, 0.0);
  for (int i = 0; i < 8000; ++i) half.push_back(i % 2 ? 32767 : -32768);
  write_file(in, make_wav(mono, encode_samples(mono, half)));
  frame->view().form().openFile(in);
  auto& strip = *dynamic_cast<WaveformStrip*>(control(*frame, kWaveform));
  const wxSize size = strip.GetClientSize();
  const auto shape_shown = [&] {
    wxBitmap bitmap(size);
    wxMemoryDC dc(bitmap);
    strip.draw(dc);
    const wxImage shot = bitmap.ConvertToImage();
    const auto inked = [&](int x) {  // rows unlike the strip's background
      int rows = 0;
      for (int y = 0; y < size.y; ++y) rows += shot.GetRed(x, y) != shot.GetRed(1, 0);
      return rows;
    };
    bool shown = true;  // the cursor's column and those around the middle aside
    for (int x = 2; x < size.x / 2 - 2; ++x) shown &= inked(x) <= 2;
    for (int x = size.x / 2 + 2; x < size.x; ++x) shown &= inked(x) > size.y * 9 / 10;
    return shown;
  };
  EXPECT_TRUE(pump_until(shape_shown));
  EXPECT_TRUE(press_ctrl(*frame, 'K'));  // no selection: Cut Source File, cancelled in its file dialog
  EXPECT_TRUE(press_ctrl(*frame, 'Q'));
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
