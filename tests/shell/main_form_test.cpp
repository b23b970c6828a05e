// The main form's logic without a display: what each event does to the buttons, the labels,
// the slider and the progress bar, and what it asks of the player (a real engine thread with
// test decoders and outputs).
#include "shell/main_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "encoder/activity_mode.h"
#include "engine/mixer.h"
#include "shell/form_ids.h"
#include "shell/keep_bass_entry.h"
#include "tests/support/engine_doubles.h"
#include "tests/shell/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using namespace form_ids;

// The form's controls as plain state.
class FakeWidgets final : public FormWidgets {
 public:
  void enable(int id, bool on) override { enabled[id] = on; }
  void setLabel(int id, std::string_view text) override { labels[id] = std::string(text); }
  void setSliderRange(int minimum, int maximum) override { sliderRange = {minimum, maximum}; }
  int sliderPosition() override { return slider; }
  void setSliderPosition(int position) override { slider = position; }
  void setProgressRange(std::int32_t maximum) override { progressRange = maximum; }
  void setProgressPosition(std::int32_t position) override { progress.push_back(position); }
  bool shiftHeld() override { return shift; }
  bool escapeHeld() override { return false; }

  // Buttons 1001 to 1007 as a row of E (enabled), D (disabled) and - (never touched).
  std::string buttons() const {
    std::string row;
    for (int id = kOpenMp3File; id <= kDecodeToWav; ++id) {
      const auto found = enabled.find(id);
      row += found == enabled.end() ? '-' : (found->second ? 'E' : 'D');
    }
    return row;
  }

  std::map<int, bool> enabled;
  std::map<int, std::string> labels;
  std::pair<int, int> sliderRange{};
  int slider = 0;
  std::int32_t progressRange = 0;
  std::vector<std::int32_t> progress;
  bool shift = false;
};

// 1000 frames a second of 16-bit stereo: 4000 bytes are one second.
constexpr StreamInfo kFiftySeconds{.lengthSeconds = 50, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() {
    activityMode = MODE_NONE;
    write_file(song, Bytes(1));
    write_file(notSound, Bytes(1));
    form = std::make_unique<MainForm>(widgets, dialogs, notifications, [this] {
      EngineSlots slots;
      slots.decoders[1] = std::make_unique<TestDecoder>(
          "decoder", log, std::map<std::string, TestStream>{{song, {kFiftySeconds, 200000}}});
      slots.outputs[0] = std::make_unique<TestOutput>("card", log);
      slots.outputs[2] = std::make_unique<TestOutput>("file", log);
      return slots;
    });
  }
  ~MainFormTest() override { form.reset(); }

  // Hands the form everything the engine reported until it has handled what was sent so far.
  void sync() {
    constexpr std::uint32_t kOwnToken = 0x80000000;  // none of the form's own
    player_post(*form->player(), {.number = PLAYER_CMD_PING, .first = kOwnToken});
    for (;;) {
      const auto notification = notifications.next();
      if (notification.number == PLAYER_NTF_PONG && notification.first == kOwnToken) return;
      form->onNotification(notification);
    }
  }
  void openSong() {
    dialogs.open = {song};
    form->OnOpenMp3File();
  }
  PlayerNotification state(std::uint32_t value) { return {.number = PLAYER_NTF_STATE, .first = value}; }
  PlayerNotification position(std::uint32_t seconds) { return {.number = PLAYER_NTF_POSITION, .first = seconds}; }
  PlayerNotification info(std::uint32_t length) {
    return {.number = PLAYER_NTF_INFO, .info = StreamInfo{.lengthSeconds = static_cast<std::int32_t>(length)}};
  }

  TempDir dir;
  const std::string song = dir.file("song.mp3");
  const std::string notSound = dir.file("notes.txt");
  FakeWidgets widgets;
  ScriptedDialogs dialogs;
  NotificationQueue notifications;
  CallLog log;
  std::unique_ptr<MainForm> form;
};

TEST_F(MainFormTest, InitialUpdateLeavesOnlyOpenAndTheFileOperations) {
  form->OnInitialUpdate();
  EXPECT_EQ(widgets.buttons(), "-DDDDDD");
  EXPECT_EQ(widgets.sliderRange, std::make_pair(0, 100));
  EXPECT_EQ(widgets.progressRange, 1000000);
  EXPECT_EQ(widgets.progress, std::vector<std::int32_t>{0});
  EXPECT_FALSE(widgets.enabled.contains(kSaveToMp3File));

  Player* player = form->player();
  ASSERT_NE(player, nullptr);
  form->OnInitialUpdate();  // the document made anew keeps its player
  EXPECT_EQ(form->player(), player);
}

TEST_F(MainFormTest, PlayWithoutAPlayerAsksForAFileFirst) {
  form->OnPlay();
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"请先打开文件!"});
  EXPECT_EQ(widgets.buttons(), "-------");
}

TEST_F(MainFormTest, ButtonsFollowTheTableThroughOpenPlayPauseStop) {
  form->OnInitialUpdate();
  dialogs.open = {std::nullopt};
  form->OnOpenMp3File();
  EXPECT_EQ(widgets.buttons(), "-DDDDDD") << "a cancelled dialog changes nothing";

  openSong();
  EXPECT_EQ(widgets.buttons(), "-EEEEEE");
  EXPECT_EQ(widgets.labels[kFileName], song);
  EXPECT_EQ(dialogs.requests.back().filter, "MP3 File(*.mp3)|*.mp3|Wav File(*.wav)|*.wav||");

  form->OnPlay();
  EXPECT_EQ(widgets.buttons(), "DEEEEED");
  EXPECT_EQ(activityMode, MODE_PLAYING);
  EXPECT_EQ(selectedOutput, 0);
  sync();
  EXPECT_FALSE(log.callsOf("card.open").empty());

  form->OnPause();
  EXPECT_EQ(widgets.buttons(), "DEEEDDD");
  form->OnPlay();
  EXPECT_EQ(widgets.buttons(), "DEEEEED");

  widgets.slider = 40;
  form->OnStop();
  EXPECT_EQ(widgets.buttons(), "EDDDDDD");
  EXPECT_EQ(widgets.slider, 0);
  EXPECT_EQ(activityMode, MODE_PLAYING) << "Stop leaves the mode";
}

TEST_F(MainFormTest, DecodeSelectsTheFileWriterAndKeepsOpenAndDecode) {
  form->OnInitialUpdate();
  openSong();
  form->OnDecodeToWav();
  EXPECT_EQ(widgets.buttons(), "-DDDDDE");
  EXPECT_EQ(activityMode, MODE_DECODING);
  EXPECT_EQ(selectedOutput, 2);
  sync();
  EXPECT_FALSE(log.callsOf("file.open").empty());
  form->onNotification({.number = PLAYER_NTF_READ_FAILED});
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Read the input wav file error!"});
}

TEST_F(MainFormTest, PositionsMoveTheSliderAndTheTimeAndEndTheStreamAt98Percent) {
  form->OnInitialUpdate();
  openSong();
  form->OnPlay();
  // Without a length the time is still shown, but no share and no end of stream.
  form->onNotification(info(0));
  widgets.slider = 30;
  form->onNotification(position(3725));
  EXPECT_EQ(widgets.labels[kPlayTime], "01:02:05");
  EXPECT_EQ(widgets.slider, 0);
  EXPECT_EQ(widgets.buttons(), "DEEEEED");

  form->onNotification(info(50));
  EXPECT_EQ(widgets.labels[kTotalTime], "00:00:50");
  form->onNotification(position(48));
  EXPECT_EQ(widgets.slider, 96);
  EXPECT_EQ(widgets.labels[kPlayTime], "00:00:48");
  EXPECT_EQ(widgets.buttons(), "DEEEEED");
  form->onNotification({.number = PLAYER_NTF_POSITION, .first = 10, .second = 3500});  // 3.5 s still unheard
  EXPECT_EQ(widgets.labels[kPlayTime], "00:00:06");
  EXPECT_EQ(widgets.slider, 12);
  form->onNotification(position(49));  // 98 %, one second before the real end
  EXPECT_EQ(widgets.slider, 0);
  EXPECT_EQ(widgets.labels[kPlayTime], "00:00:49");
  EXPECT_EQ(widgets.buttons(), "EDDDDDD");

  // Positions count only while playing or decoding, the length always.
  activityMode = MODE_ENCODING;
  form->onNotification(info(360000));
  form->onNotification(position(20));
  EXPECT_EQ(widgets.labels[kTotalTime], "100:00:00");
  EXPECT_EQ(widgets.labels[kPlayTime], "00:00:49");
  EXPECT_EQ(widgets.slider, 0);
}

TEST_F(MainFormTest, TheStreamsEndResetsTheButtonsButTheFormsOwnStopsDoNot) {
  form->OnInitialUpdate();
  openSong();
  form->OnPlay();
  sync();
  form->onNotification(info(50));
  form->onNotification(position(10));
  form->onNotification(state(PLAYER_STATE_NO_STREAM));  // decoded to the end; the rest still plays
  EXPECT_EQ(widgets.buttons(), "DEEEEED");
  form->onNotification(state(PLAYER_STATE_STOPPED));  // the last sound has been played
  EXPECT_EQ(widgets.buttons(), "EDDDDDD");
  EXPECT_EQ(widgets.slider, 0);

  openSong();
  form->OnPlay();
  form->openFile(song);  // dropped while playing: a STOPPED before the engine took it is old news
  form->onNotification(state(PLAYER_STATE_STOPPED));
  EXPECT_EQ(widgets.buttons(), "DEEEEEE");
  sync();
  EXPECT_EQ(widgets.buttons(), "DEEEEEE");

  // Ctrl+N while playing: stopped, and the playback group as at start-up.
  form->onNotification(position(10));
  form->OnNewDocument();
  sync();
  EXPECT_EQ(widgets.buttons(), "EDDDDDD");
  EXPECT_EQ(widgets.labels[kFileName], "");
  EXPECT_EQ(widgets.labels[kPlayTime], "");
  EXPECT_FALSE(log.callsOf("card.close").empty());
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormTest, AFileThatCannotBeReadOrPlayedIsReportedWithTheReason) {
  form->OnInitialUpdate();
  EXPECT_FALSE(form->openFile(dir.file("none.mp3")));
  EXPECT_TRUE(form->openFile(notSound));
  sync();
  EXPECT_EQ(widgets.buttons(), "-DDDDDD");
  EXPECT_EQ(dialogs.messages,
            (std::vector<std::string>{"Failed to open document.\n" + dir.file("none.mp3") + ": No such file or directory",
                                      "Failed to open document.\n" + notSound + ": Not an MP3 or WAV file that can be played"}));
}

TEST_F(MainFormTest, OnlyTheUsersScrollingSeeks) {
  form->OnInitialUpdate();
  openSong();
  form->OnPlay();
  sync();
  form->onNotification(info(50));
  form->onNotification(position(25));  // moves the thumb to 50
  sync();
  EXPECT_TRUE(log.callsOf("decoder.seek").empty());

  widgets.slider = 60;
  form->OnHScroll();
  sync();
  EXPECT_EQ(log.callsOf("decoder.seek"), std::vector<std::string>{"decoder.seek(60,100)"});
}

TEST_F(MainFormTest, EncodingProgressMovesTheBarOnlyWhileEncoding) {
  form->OnInitialUpdate();
  activityMode = MODE_PLAYING;
  form->OnEncodeProgress(50);
  EXPECT_EQ(widgets.progress, std::vector<std::int32_t>{0});
  activityMode = MODE_ENCODING;
  form->OnEncodeProgress(50);
  form->OnEncodeProgress(100);
  EXPECT_EQ(widgets.progress, (std::vector<std::int32_t>{0, 500000, 1000000}));
}

TEST_F(MainFormTest, VolumeButtonsStepByTenWithinTheScale) {
  form->OnInitialUpdate();
  Player& player = *form->player();
  mixer_set_volume(player, 95);
  form->OnIncreaseVolume();
  EXPECT_EQ(mixer_get_volume(player), 100u);
  form->OnIncreaseVolume();
  EXPECT_EQ(mixer_get_volume(player), 100u);
  mixer_set_volume(player, 5);
  form->OnDecreaseVolume();
  EXPECT_EQ(mixer_get_volume(player), 0u);
  mixer_set_volume(player, 100);
}

TEST_F(MainFormTest, AFailedFileOperationShowsWhyAndTheNextOneFinishes) {
  const std::string in = dir.file("in.wav");
  write_file(in, make_wav({}, Bytes(4 * 16384, 0)));
  form->OnInitialUpdate();
  const struct {
    void (MainForm::*operation)();
    std::string input, output, failure, finished;
  } runs[] = {
      {&MainForm::OnClearHumanVoice, in, dir.file("none/out.wav"), "Open the output wav file error!", "clear voice  finished!"},
      {&MainForm::OnSaveToMp3File, dir.file("none.wav"), dir.file("out.mp3"),
       "Could not find \"" + dir.file("none.wav") + "\".", "the Mp3 file changed ok!"},
      // Said on the error stream too, which nobody reads under a window.
      {&MainForm::OnSaveToMp3File, in, dir.file("none/out.mp3"), "Can't init outfile '" + dir.file("none/out.mp3") + "'",
       "the Mp3 file changed ok!"},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.failure);
    dialogs.messages.clear();
    dialogs.keepBass = {std::optional<double>{}};  // clearing a silent file: go on without the bass
    dialogs.open = {run.input, in};
    dialogs.save = {run.output, dir.file("out")};
    (*form.*run.operation)();
    EXPECT_FALSE(std::filesystem::exists(run.output));
    (*form.*run.operation)();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{run.failure, run.finished}));
    EXPECT_EQ(widgets.progress.back(), 1000000);
    EXPECT_TRUE(std::filesystem::remove(dir.file("out")));
  }
  EXPECT_EQ(dialogs.requests.front().filter, "Wav File(*.wav)|*.wav||");
}

TEST_F(MainFormTest, TheVolumeDialogShowsThePeakAndWhatTheEnteredMultipleWouldClip) {
  const std::string in = dir.file("in.wav");
  write_file(in, make_wav({.channels = 1}, samples16({16384, -16384, 8192, 0})));
  form->OnInitialUpdate();
  dialogs.open = {in};
  dialogs.save = {dir.file("out.wav")};
  form->OnChangeSourceVolume();
  ASSERT_TRUE(dialogs.headroom);
  EXPECT_EQ(dialogs.headroom->headroomLine(), "Peak -6.02 dBFS; the largest multiple that does not clip is 1.99.");
  const struct {
    const char* entry;
    std::string line;
  } rows[] = {{"1.99", ""}, {"2", "1 samples would clip (25.00 %)"}, {"3", "2 samples would clip (50.00 %)"}, {"-3", ""}};
  for (const auto& row : rows) EXPECT_EQ(dialogs.headroom->clippingLine(row.entry), row.line) << row.entry;
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"change volume  finished!\n1 samples clipped (25.00 %)"});
  EXPECT_EQ(widgets.progress.back(), 1000000);
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
    bool finished, sounds;  // whether the last output sample is other than silence
  } rows[] = {
      {"wide.wav", false, {}, {}, true, true},  // the plain button's road
      {"mono.wav", false, {cancel}, {true}, false, false},
      {"mono.wav", false, {bass}, {true}, true, true},
      {"mono.wav", true, {cancel}, {false}, false, false},  // before any file dialog
      {"mono.wav", true, {bass}, {false}, true, true},      // the bass kept: nothing to warn of
      {"mono.wav", true, {plain, plain}, {false, true}, true, false},
  };
  form->OnInitialUpdate();
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.input << " shift " << row.shift << " dialogs " << row.asked.size());
    widgets.shift = row.shift;
    dialogs.keepBass = row.answers;
    dialogs.keepBassAsked.clear();
    dialogs.messages.clear();
    dialogs.requests.clear();
    dialogs.open = {dir.file(row.input)};
    dialogs.save = {dir.file("out.wav")};
    form->OnClearHumanVoice();
    EXPECT_EQ(dialogs.keepBassAsked, row.asked);
    EXPECT_EQ(dialogs.messages, row.finished ? std::vector<std::string>{"clear voice  finished!"} : std::vector<std::string>{});
    if (row.finished) {
      const Bytes out = read_file(dir.file("out.wav"));
      EXPECT_EQ(le16(out, out.size() - 2) != 0, row.sounds);
    }
    EXPECT_EQ(std::filesystem::remove(dir.file("out.wav")), row.finished);
    if (row.shift && !row.answers.front()) {
      EXPECT_TRUE(dialogs.requests.empty());
    }
  }
}

TEST(KeepBassEntry, TakesOnlyAPositiveNumberOfHertz) {
  const std::pair<const char*, std::optional<double>> rows[] = {
      {"120", 120.0}, {"80.5", 80.5}, {"0", std::nullopt}, {"-5", std::nullopt},
      {"1e3", std::nullopt}, {"", std::nullopt}, {"12 ", std::nullopt}, {"80,5", std::nullopt}};
  for (const auto& [entry, hz] : rows) EXPECT_EQ(keep_bass_hz(entry), hz) << entry;
}

}  // namespace
}  // namespace tunekiln::test
