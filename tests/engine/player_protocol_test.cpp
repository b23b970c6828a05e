// The engine's commands, states and notifications, and the volume buttons' mixer functions,
// with test decoders and outputs.
#include <gtest/gtest.h>

#include "engine/mixer.h"
#include "tests/engine/engine_doubles.h"

namespace tunekiln::test {
namespace {

using Lines = std::vector<std::string>;

// 1000 frames per second of 16-bit stereo: 4000 bytes are one second, one block of the outputs.
constexpr StreamInfo kTenSeconds{.lengthSeconds = 10, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
constexpr StreamInfo kFiveSeconds{.lengthSeconds = 5, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
constexpr StreamInfo kOtherRate{.lengthSeconds = 3, .sampleRate = 2000, .stereo = 1, .sixteenBit = 1};

// A master volume in memory that stops answering once `gone`, as when the sound server goes away.
struct VolumeState {
  std::uint32_t value = 65536;
  bool gone = false;
};
struct VolumeDouble final : MasterVolume {
  explicit VolumeDouble(VolumeState& shared) : state(shared) {}
  std::optional<std::uint32_t> get() override { return state.gone ? std::nullopt : std::optional(state.value); }
  bool set(std::uint32_t value) override {
    if (!state.gone) state.value = value;
    return !state.gone;
  }
  VolumeState& state;
};

class PlayerProtocol : public ::testing::Test {
 protected:
  void start(bool withMixer = false) {
    auto slots = std::make_shared<EngineSlots>();
    slots->decoders[1] = std::make_unique<TestDecoder>(
        "wav", log,
        std::map<std::string, TestStream>{
            {"a.wav", {kTenSeconds, 40000}}, {"short.wav", {kTenSeconds, 6000}}, {"c.wav", {kOtherRate, 24000}},
            {"empty.wav", {kTenSeconds, 0}}, {"failing.wav", {kTenSeconds, 6000, true}}});
    slots->decoders[2] =
        std::make_unique<TestDecoder>("mp3", log, std::map<std::string, TestStream>{{"b.mp3", {kFiveSeconds, 20000}}});
    auto cardOutput = std::make_unique<TestOutput>("card", log);
    card = cardOutput.get();
    slots->outputs[0] = std::move(cardOutput);
    slots->outputs[2] = std::make_unique<TestOutput>("file", log);
    selectedOutput = 0;
    player = player_create(notifications, [slots] { return std::move(*slots); }, mixer(withMixer));
  }

  MasterVolumeOpener mixer(bool present) {
    if (!present) return [] { return std::unique_ptr<MasterVolume>(); };
    return [this] { return std::make_unique<VolumeDouble>(volume); };
  }

  // Everything the engine reports until it answers a PING posted now.
  Lines sync() {
    player_post(*player, {.number = PLAYER_CMD_PING, .first = ++pings_});
    Lines seen;
    for (auto n = notifications.next(); n.number != PLAYER_NTF_PONG || n.first != pings_; n = notifications.next()) {
      seen.push_back(describe(n));
    }
    return seen;
  }

  // The next `count` notifications.
  Lines next(std::size_t count) {
    Lines seen;
    while (seen.size() < count) seen.push_back(describe(notifications.next()));
    return seen;
  }

  void open(const std::string& name) { player_open(*player, name); }

  // Opens `name` and plays it to the end of the first pump: position 1.
  void play(const std::string& name = "a.wav", const std::string& length = "10") {
    open(name);
    player_play(*player);
    EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO " + length, "POSITION 0", "INFO " + length, "POSITION 1"}));
  }

  // The last `count` calls of the doubles.
  Lines lastCalls(std::size_t count, const std::string& prefix = "") {
    const Lines calls = log.callsOf(prefix);
    return calls.size() < count ? calls : Lines(calls.end() - static_cast<std::ptrdiff_t>(count), calls.end());
  }

  CallLog log;
  VolumeState volume;
  NotificationQueue notifications;
  std::unique_ptr<Player> player;  // ends before everything above, which its thread uses
  TestOutput* card = nullptr;

 private:
  std::uint32_t pings_ = 0;
};

// What each command does with nothing open is checked against the state table in the stress test.
TEST_F(PlayerProtocol, UnknownNumbersAreIgnoredAndEveryDecoderIsAskedInTurn) {
  start();
  for (const std::uint32_t number : {0x8007u, 0x8008u, 0x800Cu, 0x800Eu, 0x8010u, 0x1234u}) {
    player_post(*player, {.number = number, .name = "a.wav"});  // numbers without a command
  }
  player_open(*player, std::nullopt);
  EXPECT_EQ(sync(), Lines{"STATE NO_STREAM"});
  EXPECT_EQ(log.calls(), Lines{});

  open("a.wav");
  EXPECT_EQ(sync(), Lines{}) << "a file that opens is only loaded";
  open("b.mp3");
  EXPECT_EQ(sync(), Lines{});
  open("missing.ogg");
  EXPECT_EQ(sync(), Lines{"STATE NO_STREAM"});
  EXPECT_EQ(log.calls(), (Lines{"wav.open(a.wav)", "wav.close", "wav.open(b.mp3)", "mp3.open(b.mp3)", "mp3.close",
                                "wav.open(missing.ogg)", "mp3.open(missing.ogg)"}));
}

TEST_F(PlayerProtocol, PlayPausePlayAndStop) {
  start();
  play();
  EXPECT_EQ(log.calls(), (Lines{"wav.open(a.wav)", "card.open(1000)", "card.resume", "card.pump(4000)"}));
  EXPECT_EQ(sync(), Lines{}) << "without a wake-up the output is not pumped";
  card->wake();
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 2"})) << "INFO right before every POSITION";

  player_pause(*player);
  player_play(*player);
  EXPECT_EQ(sync(), (Lines{"STATE PAUSED", "STATE PLAYING", "INFO 10", "POSITION 2"}));
  EXPECT_EQ(lastCalls(2), (Lines{"card.pause", "card.resume"})) << "the same output goes on";
  player_stop(*player);
  EXPECT_EQ(sync(), Lines{"STATE STOPPED"});
  EXPECT_EQ(lastCalls(2), (Lines{"wav.close", "card.close"}));
}

TEST_F(PlayerProtocol, EndOfStreamReportsNoStreamThenStoppedOnceTheOutputIsDone) {
  start();
  card->done = false;
  play("short.wav");
  card->wake();
  EXPECT_EQ(next(1), Lines{"STATE NO_STREAM"}) << "the last 2000 bytes came with the end";
  EXPECT_EQ(lastCalls(1, "card.pump"), Lines{"card.pump(2000)"});
  EXPECT_EQ(log.callsOf("wav.close").size(), 1u) << "the output closes the decoder at its end";
  card->wake();
  EXPECT_EQ(sync(), Lines{}) << "still playing what it holds";
  card->done = true;
  card->wake();
  EXPECT_EQ(next(1), Lines{"STATE STOPPED"});
  EXPECT_EQ(lastCalls(1, "card"), Lines{"card.close"});
}

TEST_F(PlayerProtocol, AStreamWithoutSamplesEndsAtOnceAndAFailedReadIsReported) {
  start();
  open("empty.wav");
  player_play(*player);
  EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO 10", "POSITION 0", "STATE NO_STREAM", "STATE STOPPED"}))
      << "with nothing queued, no block comes back to wake the engine";

  card->done = false;
  play("failing.wav");
  card->wake();
  EXPECT_EQ(next(2), (Lines{"READ_FAILED", "STATE NO_STREAM"})) << "and what the output holds plays on";
  EXPECT_EQ(log.callsOf("wav.close").size(), 2u);
}

TEST_F(PlayerProtocol, OpenWhilePlayingKeepsTheOutputForTheSameFormatAndDrainsItForAnother) {
  start();
  play();
  card->wake();
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 2"}));
  open("b.mp3");
  EXPECT_EQ(sync(), Lines{});
  card->wake();
  EXPECT_EQ(next(2), (Lines{"INFO 5", "POSITION 1"})) << "the new stream follows in the same output";
  EXPECT_EQ(log.callsOf("card.open").size(), 1u);

  card->done = false;
  log.holdAt("card.isDone:no");
  open("c.wav");
  log.waitUntilHeld();
  EXPECT_EQ(notifications.poll(), std::nullopt) << "STOPPED waits until the output has played what it holds";
  card->done = true;
  card->wake();
  log.release();
  EXPECT_EQ(next(3), (Lines{"STATE STOPPED", "INFO 3", "POSITION 0"}));
  EXPECT_EQ(lastCalls(3, "card"), (Lines{"card.close", "card.open(2000)", "card.pump(4000)"}));
}

TEST_F(PlayerProtocol, SeekMovesTheDecoderAndDropsWhatTheOutputHolds) {
  start();
  open("a.wav");
  player_seek(*player, 50, 100);
  EXPECT_EQ(sync(), Lines{}) << "SEEK with the output closed does nothing";
  player_play(*player);
  next(5);
  player_seek(*player, 50, 100);
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 6"})) << "5 s, and one block pumped at once";
  EXPECT_EQ(lastCalls(3), (Lines{"wav.seek(50,100)", "card.reset", "card.pump(4000)"}));

  card->done = false;
  for (int second = 7; second <= 9; ++second) {
    card->wake();
    EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION " + std::to_string(second)}));
  }
  card->wake();
  EXPECT_EQ(next(1), Lines{"STATE NO_STREAM"});
  player_seek(*player, 10, 100);
  EXPECT_EQ(next(1), Lines{"STATE STOPPED"}) << "a seek while finishing leaves nothing to wait for";
}

TEST_F(PlayerProtocol, OnlyTheNewestOfSeveralQueuedOpensAndSeeksIsCarriedOut) {
  start();
  log.holdAt("wav.open(first.wav)");
  open("first.wav");
  log.waitUntilHeld();
  for (const char* name : {"a.wav", "c.wav", "b.mp3"}) open(name);
  log.release();
  EXPECT_EQ(sync(), Lines{"STATE NO_STREAM"}) << "for first.wav, which no decoder takes";
  EXPECT_EQ(log.callsOf("mp3.open"), (Lines{"mp3.open(first.wav)", "mp3.open(b.mp3)"}));
  EXPECT_EQ(log.callsOf("wav.open"), (Lines{"wav.open(first.wav)", "wav.open(b.mp3)"}));

  player_play(*player);
  EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO 5", "POSITION 0", "INFO 5", "POSITION 1"}));
  log.holdAt("card.setVolume(50)");
  player_set_volume(*player, 50);
  log.waitUntilHeld();
  for (std::uint32_t i = 1; i <= 20; ++i) player_seek(*player, i, 100);
  log.release();
  EXPECT_EQ(next(2), (Lines{"INFO 5", "POSITION 2"}));
  EXPECT_EQ(log.callsOf("mp3.seek"), Lines{"mp3.seek(20,100)"});
  EXPECT_EQ(log.callsOf("card.reset").size(), 1u);
}

TEST_F(PlayerProtocol, QuitEndsTheThreadAfterWhatIsQueuedAndClosesEverything) {
  start();
  play();
  log.holdAt("card.setVolume(50)");
  player_set_volume(*player, 50);
  log.waitUntilHeld();
  player_post(*player, {.number = PLAYER_CMD_QUIT});
  player_post(*player, {.number = PLAYER_CMD_PING, .first = 0xDEADBEEF});
  player_post(*player, {.number = PLAYER_CMD_LIST_OUTPUTS});
  open("b.mp3");
  log.release();
  EXPECT_EQ(next(4), (Lines{"PONG " + std::to_string(0xDEADBEEFu), "OUTPUT_NAME 0 card", "OUTPUT_NAME 1 (none)",
                            "OUTPUT_NAME 2 file"}));
  player.reset();  // joins the thread
  EXPECT_EQ(lastCalls(3), (Lines{"mp3.open(b.mp3)", "mp3.close", "card.close"})) << "what was queued was handled";
}

TEST_F(PlayerProtocol, SelectOutputMovesTheDecoderAtItsPositionToTheNewOutput) {
  start();
  open("a.wav");
  for (const int slot : {1, 7}) {  // an empty slot plays nothing; 7 names no slot
    selectedOutput = slot;
    player_select_output(*player);
    player_play(*player);
    EXPECT_EQ(sync(), Lines{});
  }
  selectedOutput = 2;
  player_select_output(*player);
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 1"}));
  selectedOutput = 0;
  player_select_output(*player);
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 2"})) << "no STOPPED; the card goes on from 1 s";
  player_select_output(*player);
  EXPECT_EQ(sync(), Lines{}) << "selecting the current output changes nothing";
  EXPECT_EQ(log.calls(), (Lines{"wav.open(a.wav)", "file.open(1000)", "file.pump(4000)", "file.close",
                                "card.open(1000)", "card.pump(4000)"}));
}

TEST_F(PlayerProtocol, VolumeZeroIsAppliedAtOpenAndAnyLevelWhileOpen) {
  start();
  player_set_volume(*player, 70);
  play();
  EXPECT_EQ(log.callsOf("card.setVolume"), Lines{}) << "a non-zero level waits for the next SET_VOLUME";
  player_set_volume(*player, 0);
  player_post(*player, {.number = PLAYER_CMD_DRAIN});
  EXPECT_EQ(sync(), Lines{"STATE STOPPED"});
  EXPECT_EQ(lastCalls(1, "card"), Lines{"card.close"}) << "DRAIN lets the output finish";
  EXPECT_EQ(log.callsOf("wav.close"), Lines{});
  player_play(*player);
  EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO 10", "POSITION 1", "INFO 10", "POSITION 2"}))
      << "the file stayed loaded where it was";
  EXPECT_EQ(log.callsOf("card.setVolume"), (Lines{"card.setVolume(0)", "card.setVolume(0)"}));
}

// The steps of 655 on a real sink, and a server going away, are heard in the sound tests.
TEST_F(PlayerProtocol, TheVolumeButtonsUseTheMixerAndWithoutItTheEnginesVolumeFrom100) {
  start(true);
  play();
  volume.value = 654;
  EXPECT_EQ(mixer_get_volume(*player), 0u) << "the remainder is dropped";
  mixer_setup(*player, mixer(false));
  mixer_setup(*player, mixer(true));
  volume.gone = true;
  EXPECT_EQ(mixer_get_volume(*player), 100u);
  EXPECT_EQ(player->mixer, nullptr);
  mixer_set_volume(*player, 90);
  EXPECT_EQ(mixer_get_volume(*player), 90u);
  mixer_set_volume(*player, 100);
  EXPECT_EQ(sync(), Lines{});
  EXPECT_EQ(log.callsOf("card.setVolume"), (Lines{"card.setVolume(100)", "card.setVolume(90)", "card.setVolume(100)"}))
      << "only a mixer that opens posts 100; the sound is never silenced by a button that should raise it";
}

}  // namespace
}  // namespace tunekiln::test
