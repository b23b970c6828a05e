// The main form's logic without a display: what each event does to the buttons, the labels,
// the slider and the messages, with a real engine thread playing through test decoders and
// outputs, and Clear Human Voice's road through the form's dialogs.
#include "shell/main_form.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "engine/engine_texts.h"
#include "resources/strings.h"
#include "shell/activity_mode.h"
#include "shell/form_ids.h"
#include "shell/keep_bass_entry.h"
#include "tests/shell/scripted_dialogs.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using namespace form_ids;

// The form's controls as plain state; the progress bar is the window test's to see.
struct FakeWidgets final : FormWidgets {
  void enable(std::string_view id, bool on) override { enabled[id] = on ? 'E' : 'D'; }
  void setLabel(std::string_view id, std::string_view text) override { labels[id] = text; }
  void setSliderRange(int, int) override {}
  int sliderPosition() override { return slider; }
  void setSliderPosition(int position) override { slider = position; }
  void setProgressRange(std::int32_t) override {}
  void setProgressPosition(std::int32_t) override {}
  bool shiftHeld() override { return shift; }
  bool escapeHeld() override { return false; }
  void showWaveform(std::shared_ptr<const WaveformEnvelope> shown) override { waveform = std::move(shown); }
  // Open to Decode as E (enabled), D (disabled) or - (never touched).
  std::string buttons() {
    std::string row;
    for (const auto id : {kOpenMp3File, kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume, kDecodeToWav})
      row += enabled.contains(id) ? enabled[id] : '-';
    return row;
  }
  std::string times() { return labels[kPlayTime] + " " + labels[kTotalTime]; }

  std::map<std::string_view, char> enabled;
  std::map<std::string_view, std::string> labels;
  int slider = 0;
  bool shift = false;
  std::shared_ptr<const WaveformEnvelope> waveform;
};

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() {
    activityMode = MODE_NONE;
    write_file(song, Bytes(1));
    write_file(notes, Bytes(1));
  }
  // Hands the form everything the engine reported until it has handled what was sent so far.
  void sync() {
    constexpr std::uint32_t kOwnToken = 0x80000000;  // none of the form's own
    player_post(*form.player(), {.number = PLAYER_CMD_PING, .first = kOwnToken});
    for (auto next = notifications.next(); next.number != PLAYER_NTF_PONG || next.first != kOwnToken;
         next = notifications.next()) {
      log.add(describe(next));  // the engine's states, for the rows to find as they find calls
      form.onNotification(next);
    }
  }
  void notify(std::uint32_t number, std::uint32_t first = 0, std::uint32_t second = 0) {
    form.onNotification({.number = number, .first = first, .second = second});
  }
  void info(std::uint32_t seconds) {
    const StreamInfo stream{.lengthSeconds = static_cast<std::int32_t>(seconds)};
    form.onNotification({.number = PLAYER_NTF_INFO, .info = stream});
  }
  void open() { dialogs.open = {song}, form.OnOpenMp3File(), sync(); }
  void play() { form.OnPlay(), sync(); }

  TempDir dir;
  const std::string song = dir.file("song.mp3"), notes = dir.file("notes.txt");
  FakeWidgets widgets;
  ScriptedDialogs dialogs;
  NotificationQueue notifications;
  CallLog log;
  MainForm form{widgets, dialogs, notifications, [this] {
    EngineSlots slots;
    const TestStream stream{{.lengthSeconds = 50, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1}, 200000};
    slots.decoders[1] = std::make_unique<TestDecoder>("decoder", log, std::map{std::pair{song, stream}});
    slots.outputs[0] = std::make_unique<TestOutput>("card", log);
    slots.outputs[2] = std::make_unique<TestOutput>("file", log);
    return slots;
  }};
};

TEST_F(MainFormTest, EventsSetButtonsAndSayWhatFailed) {
  const auto stopped = [&] { notify(PLAYER_NTF_STATE, PLAYER_STATE_STOPPED); };
  const struct {
    std::function<void()> event;
    const char* buttons;
    std::string_view says = "";  // what the one message shown holds
    const char* call = "";       // a test double's call, or a state, it then logged
  } rows[] = {
      {[&] { form.OnPlay(); }, "-------", strings::kOpenFileFirst},  // before the form is shown
      {[&] { form.OnInitialUpdate(); }, "-DDDDDD"},
      {[&] { EXPECT_FALSE(form.openFile(dir.file("none.mp3"))); }, "-DDDDDD", std::strerror(ENOENT)},
      {[&] { form.openFile(notes), sync(); }, "-DDDDDD", strings::kNotPlayable},
      {[&] { open(); }, "-EEEEEE"},
      {[&] { play(); }, "DEEEEED", {}, "card.open"},
      {[&] { form.OnPause(), sync(); }, "DEEEDDD", {}, "PAUSED"},
      // Decoded to the end while the rest waits to be heard; then the last of it has been heard.
      {[&] { notify(PLAYER_NTF_STATE, PLAYER_STATE_NO_STREAM); }, "DEEEDDD"},
      {stopped, "EDDDDDD"},
      {[&] { open(); }, "EEEEEEE"},
      // Dropped while playing: a STOPPED from before the engine took the file is old news.
      {[&] { play(), form.openFile(song), stopped(), sync(); }, "DEEEEEE"},
      {[&] { widgets.slider = 60, form.OnHScroll(), sync(); }, "DEEEEEE", {}, "decoder.seek(60,100)"},
      {[&] { form.OnStop(), sync(); }, "EDDDDDD", {}, "card.close"},
      {[&] { open(), form.OnDecodeToWav(), sync(); }, "EDDDDDE", {}, "file.open"},
      {[&] { notify(PLAYER_NTF_READ_FAILED); }, "EDDDDDE", engine_texts::kWavReadError},
      {stopped, "EDDDDDD"},
      {[&] { open(), play(), notify(PLAYER_NTF_NO_SOUND_SERVER); }, "EDDDDDD", strings::kNoSoundOutput},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    const std::size_t calls = log.callsOf(row.call).size();
    row.event();
    EXPECT_EQ(widgets.buttons(), row.buttons);
    ASSERT_EQ(dialogs.messages.size(), row.says.empty() ? 0u : 1u);
    if (!row.says.empty()) {
      EXPECT_NE(dialogs.messages[0].find(row.says), std::string::npos);
    }
    if (*row.call) {
      EXPECT_GT(log.callsOf(row.call).size(), calls);
    }
    dialogs.messages.clear();
  }
  EXPECT_FALSE(widgets.enabled.contains(kSaveToMp3File));
}

TEST_F(MainFormTest, SliderAndTimesShowWhatWasHeard) {
  form.OnInitialUpdate();
  const struct {
    std::uint32_t length, heard;
    int slider;
    std::string buttons, times;
  } rows[] = {
      {0, 3725, 0, "DEEEEED", "01:02:05 00:00:00"},  // no length, so no share
      {360000, 352799, 97, "DEEEEED", "97:59:59 100:00:00"},
      {360000, 352800, 0, "EDDDDDD", "98:00:00 100:00:00"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.heard);
    open(), play(), info(row.length);
    widgets.slider = 40;
    notify(PLAYER_NTF_POSITION, row.heard + 3, 2500);  // 2.5 s of what was handed still unheard
    EXPECT_EQ(widgets.slider, row.slider);
    EXPECT_EQ(widgets.buttons(), row.buttons);
    EXPECT_EQ(widgets.times(), row.times);
  }
  // Ctrl+N while playing, with reports the engine had queued before it took the New.
  play();
  form.OnNewDocument(), info(50), notify(PLAYER_NTF_POSITION, 31), sync();
  EXPECT_EQ(widgets.buttons() + widgets.times() + widgets.labels[kFileName], "EDDDDDD ");
  EXPECT_EQ(widgets.slider, 0);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormTest, ShiftClearVoiceKeepsTheBass) {
  // Both channels alike, for long enough for the bass filter to pass them.
  write_file(dir.file("centre.wav"), make_wav({}, Bytes(16000, 3)));
  form.OnInitialUpdate();
  widgets.shift = true;
  dialogs.keepBass = {120};
  dialogs.open = {dir.file("centre.wav")};
  dialogs.save = {dir.file("out.wav")};
  form.OnClearHumanVoice();
  EXPECT_EQ(dialogs.keepBassAsked, std::vector{false});
  const Bytes out = read_file(dir.file("out.wav"));
  EXPECT_NE(le16(out, out.size() - 2), 0) << "the bass kept";
}

TEST_F(MainFormTest, WaveformClickSeeksAndSelectionCuts) {
  // The player plays its test stream by this name; the waveform and the cut read the WAV.
  const WavShape shape{.channels = 1, .sampleRate = 8000};
  write_file(song, make_wav(shape, Bytes(2 * 8000 * 240)));
  form.OnInitialUpdate(), open();
  while (widgets.waveform->lengthMilliseconds() == 0) form.onNotification(notifications.next());
  constexpr int kWidth = 401;
  play();  // the engine seeks only in a stream it plays
  for (const auto& [x, share] : {std::pair{100, 0.25}, {-3, 0.0}, {555, 1.0}}) {
    form.OnWaveformClick(strip_gesture(x, x, kWidth).range.from), sync();
    unsigned numerator = 0, denominator = 0;
    std::sscanf(log.callsOf("decoder.seek").back().c_str(), "decoder.seek(%u,%u)", &numerator, &denominator);
    EXPECT_NEAR(double(numerator) / denominator, share, 1e-6) << x;
  }
  const struct {
    int press, release;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> milliseconds;  // nothing: a click
  } rows[] = {{100, 300, {{60000, 180000}}}, {400, 0, {{0, 240000}}}, {200, 202, {}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.press);
    const StripGesture gesture = strip_gesture(row.press, row.release, kWidth);
    gesture.isSelection ? form.OnWaveformSelect(gesture.range) : form.OnWaveformClick(gesture.range.from);
    dialogs.open = {song};  // taken only by a cut without a selection
    dialogs.save = {dir.file("cut.wav")};
    form.OnCutSelection();
    // The dialog opens with entries that it takes for the selection's times.
    EXPECT_EQ(dialogs.cutPreset && accept_cut_entries(*dialogs.cutPreset).accepted, !!row.milliseconds);
    if (row.milliseconds) {
      EXPECT_EQ(std::pair(g_cutRange.start.value, g_cutRange.end.value), row.milliseconds);
    }
    EXPECT_EQ(dialogs.open.empty(), !row.milliseconds);
  }
}

TEST(FormEntries, KeepBassExtensionAndPeak) {
  EXPECT_EQ(keep_bass_hz("80.5"), 80.5);
  EXPECT_EQ(keep_bass_hz("0"), std::nullopt);
  EXPECT_EQ(with_default_extension("/my.music/out", kWavFileDialog), "/my.music/out.Wav");
  // The volume dialog's peak is the louder channel's: the right one, at half of full scale.
  const PcmAnalysis halves{.channels = {{.peak = 0.25}, {.peak = 0.5, .highest = 0.5}}};
  const VolumeHeadroom headroom(halves, ClipCounter(SampleEncoding::float32), SampleEncoding::float32);
  EXPECT_TRUE(headroom.headroomLine().starts_with("Peak -6.02 dBFS"));
}

}  // namespace
}  // namespace tunekiln::test
