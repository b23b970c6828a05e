// The main form's logic without a display: what each event does to the buttons, the labels,
// the slider and the messages, with a real engine thread playing through test decoders and
// outputs, and the file operations' roads through the form's dialogs.
#include "shell/main_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "shell/activity_mode.h"
#include "shell/form_ids.h"
#include "shell/keep_bass_entry.h"
#include "tests/support/engine_doubles.h"
#include "tests/shell/scripted_dialogs.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using namespace form_ids;

// The form's controls as plain state, by their named ids; the bar's movement is the window test's to see.
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
  // Open to Decode as E (enabled), D (disabled) or - (never touched).
  std::string buttons() {
    std::string row;
    for (const auto id : {kOpenMp3File, kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume, kDecodeToWav})
      row += enabled.contains(id) ? enabled[id] : '-';
    return row;
  }

  std::map<std::string_view, char> enabled;
  std::map<std::string_view, std::string> labels;
  int slider = 0;
  bool shift = false;
};

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() {
    activityMode = MODE_NONE;
    write_file(song, Bytes(1));
    write_file(notSound, Bytes(1));
  }
  // Hands the form everything the engine reported until it has handled what was sent so far.
  void sync() {
    constexpr std::uint32_t kOwnToken = 0x80000000;  // none of the form's own
    player_post(*form.player(), {.number = PLAYER_CMD_PING, .first = kOwnToken});
    for (auto next = notifications.next(); next.number != PLAYER_NTF_PONG || next.first != kOwnToken;
         next = notifications.next()) {
      form.onNotification(next);
    }
  }
  void notify(std::uint32_t number, std::uint32_t first = 0, std::uint32_t second = 0) {
    form.onNotification({.number = number, .first = first, .second = second});
  }
  void info(std::int32_t seconds) {
    form.onNotification({.number = PLAYER_NTF_INFO, .info = StreamInfo{.lengthSeconds = seconds}});
  }

  TempDir dir;
  const std::string song = dir.file("song.mp3"), notSound = dir.file("notes.txt");
  FakeWidgets widgets;
  ScriptedDialogs dialogs;
  NotificationQueue notifications;
  CallLog log;
  MainForm form{widgets, dialogs, notifications, [this] {
    EngineSlots slots;
    const StreamInfo fiftySeconds{.lengthSeconds = 50, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
    slots.decoders[1] = std::make_unique<TestDecoder>("decoder", log, std::map<std::string, TestStream>{{song, {fiftySeconds, 200000}}});
    slots.outputs[0] = std::make_unique<TestOutput>("card", log);
    slots.outputs[2] = std::make_unique<TestOutput>("file", log);
    return slots;
  }};
};

TEST_F(MainFormTest, EachEventLeavesTheButtonsTheSliderAndTheMessagesAsTheUserExpects) {
  const auto open = [&] { dialogs.open = {song}, form.OnOpenMp3File(), sync(); };
  const auto play = [&] { form.OnPlay(), sync(); };
  const auto stopped = [&] { notify(PLAYER_NTF_STATE, PLAYER_STATE_STOPPED); };
  const std::string failed = "Failed to open document.\n";
  const struct {
    std::function<void()> event;
    const char* buttons;  // Open, Play, Pause, Stop, Increase, Decrease, Decode
    std::string message = "";
    const char* device = "";      // a call the engine made to an output, where it must
    std::optional<int> slider{};  // from 40, where the user had left it
    std::string shown = "";       // the file, the heard time and the length
  } rows[] = {
      // Play before the form was first shown.
      {[&] { form.OnPlay(); }, "-------", "请先打开文件!"}, {[&] { form.OnInitialUpdate(); }, "-DDDDDD"},
      {[&] { dialogs.open = {std::nullopt}, form.OnOpenMp3File(); }, "-DDDDDD"},
      {[&] { EXPECT_FALSE(form.openFile(dir.file("none.mp3"))); }, "-DDDDDD",
       failed + dir.file("none.mp3") + ": No such file or directory"},
      {[&] { form.openFile(notSound), sync(); }, "-DDDDDD", failed + notSound + ": Not an MP3 or WAV file that can be played"},
      {open, "-EEEEEE"}, {play, "DEEEEED", "", "card.open"}, {[&] { form.OnPause(), sync(); }, "DEEEDDD"}, {play, "DEEEEED"},
      // Decoded to the end while the rest still plays; then the last of it has been heard.
      {[&] { notify(PLAYER_NTF_STATE, PLAYER_STATE_NO_STREAM); }, "DEEEEED"}, {stopped, "EDDDDDD", "", "", 0},
      // Dropped while playing, not yet taken by the engine: a STOPPED from before it took the file is old news.
      {open, "EEEEEEE"}, {play, "DEEEEED"}, {[&] { form.openFile(song); }, "DEEEEEE"}, {stopped, "DEEEEEE"},
      {[&] { sync(); }, "DEEEEEE"},
      {[&] { info(50), notify(PLAYER_NTF_POSITION, 49); }, "EDDDDDD", "", "", 0},  // taken for the end, a second before it
      {open, "EEEEEEE"}, {[&] { form.OnDecodeToWav(), sync(); }, "EDDDDDE", "", "file.open"},
      {[&] { notify(PLAYER_NTF_READ_FAILED); }, "EDDDDDE", "Read the input wav file error!"},
      {stopped, "EDDDDDD", "", "", 0},
      {open, "EEEEEEE"}, {play, "DEEEEED"},
      {[&] { notify(PLAYER_NTF_NO_SOUND_SERVER); }, "EDDDDDD", "No sound output could be opened!", "", 0},
      {open, "EEEEEEE"}, {play, "DEEEEED"},
      // No length and so no share; 3.5 s still to hear; not yet the end.
      {[&] { info(0), notify(PLAYER_NTF_POSITION, 3725); }, "DEEEEED", "", "", 0, song + " 01:02:05 00:00:00"},
      {[&] { info(50), notify(PLAYER_NTF_POSITION, 10, 3500); }, "DEEEEED", "", "", 12, song + " 00:00:06 00:00:50"},
      {[&] { notify(PLAYER_NTF_POSITION, 48); }, "DEEEEED", "", "", 96, song + " 00:00:48 00:00:50"},
      // Lengths count whatever runs, positions only while playing or decoding.
      {[&] { activityMode = MODE_ENCODING, info(360000), notify(PLAYER_NTF_POSITION, 20), activityMode = MODE_PLAYING; },
       "DEEEEED", "", "", 40, song + " 00:00:48 100:00:00"},
      {[&] { widgets.slider = 60, form.OnHScroll(), sync(); }, "DEEEEED", "", "decoder.seek"},
      // Ctrl+N while playing, with reports the engine had queued before it took the New: they stay unshown.
      {[&] { form.OnNewDocument(), info(50), notify(PLAYER_NTF_POSITION, 31), sync(); }, "EDDDDDD", "", "card.close", 0, "  "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << &row - rows);
    widgets.slider = 40;
    const std::size_t calls = log.callsOf(row.device).size();
    row.event();
    EXPECT_EQ(widgets.buttons(), row.buttons);
    EXPECT_EQ(dialogs.messages, row.message.empty() ? std::vector<std::string>{} : std::vector{row.message});
    if (*row.device) { EXPECT_GT(log.callsOf(row.device).size(), calls); }
    if (row.slider) { EXPECT_EQ(widgets.slider, row.slider); }
    auto& labels = widgets.labels;
    if (!row.shown.empty()) { EXPECT_EQ(labels[kFileName] + " " + labels[kPlayTime] + " " + labels[kTotalTime], row.shown); }
    dialogs.messages.clear();
  }
  EXPECT_FALSE(widgets.enabled.contains(kSaveToMp3File));
  EXPECT_EQ(log.callsOf("decoder.seek"), std::vector<std::string>{"decoder.seek(60,100)"}) << "only the user's scrolling seeks";
}

TEST_F(MainFormTest, ClearVoiceAsksAboutTheBassWithShiftOrWhenTheResultWouldBeSilent) {
  Bytes mono;  // both channels at 1000 for long enough for the bass filter to pass it
  for (int sample = 0; sample < 4000; ++sample) mono.insert(mono.end(), {0xe8, 0x03});
  write_file(dir.file("mono.wav"), make_wav({}, mono));
  write_file(dir.file("wide.wav"), make_wav({}, samples16({1000, -1000, 1000, -1000})));
  using Answer = std::optional<std::optional<double>>;
  const Answer plain = std::optional<double>{}, bass = std::optional<double>{120.0}, cancel;
  const struct {
    const char* input;
    bool shift;
    std::vector<Answer> answers;
    std::vector<bool> asked;  // for each dialog, whether it spoke of silence
    bool finished, sounds;    // whether the last output sample is other than silence
  } rows[] = {
      {"wide.wav", false, {}, {}, true, true},  // the plain button's road
      {"mono.wav", false, {cancel}, {true}, false, false}, {"mono.wav", false, {bass}, {true}, true, true},
      {"mono.wav", true, {cancel}, {false}, false, false},  // before any file dialog
      {"mono.wav", true, {plain, plain}, {false, true}, true, false},
  };
  form.OnInitialUpdate();
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << &row - rows);
    widgets.shift = row.shift;
    dialogs = ScriptedDialogs{};
    dialogs.keepBass = row.answers;
    dialogs.open = {dir.file(row.input)};
    dialogs.save = {dir.file("out.wav")};
    form.OnClearHumanVoice();
    EXPECT_EQ(dialogs.keepBassAsked, row.asked);
    EXPECT_EQ(dialogs.messages.size(), row.finished ? 1u : 0u);
    const Bytes out = row.finished ? read_file(dir.file("out.wav")) : Bytes(2);
    EXPECT_EQ(le16(out, out.size() - 2) != 0, row.sounds);
    EXPECT_EQ(std::filesystem::remove(dir.file("out.wav")), row.finished);
    EXPECT_EQ(dialogs.requests.empty(), row.shift && !row.answers.front());
  }
}

TEST(FormEntries, TheKeepBassFrequencyAndTheNameAFileDialogCompletes) {
  for (const auto& [entry, hz] : std::map<std::string, std::optional<double>>{
           {"120", 120.0}, {"80.5", 80.5}, {"0", {}}, {"-5", {}}, {"1e3", {}}, {"", {}}, {"12 ", {}}, {"80,5", {}}})
    EXPECT_EQ(keep_bass_hz(entry), hz) << entry;
  const std::tuple<const char*, FileDialogRequest, const char*> names[] = {
      {"/music/out.mp3", kWavFileDialog, "/music/out.mp3"}, {"/my.music/out", kWavFileDialog, "/my.music/out.Wav"},
      {"song", {"MP3 File(*.mp3)|*.mp3", ""}, "song.MP3"}, {"song", {"", "All Files (*.*)|*.*"}, "song"}};
  for (const auto& [chosen, dialog, path] : names) EXPECT_EQ(with_default_extension(chosen, dialog), path) << chosen;
}

}  // namespace
}  // namespace tunekiln::test
