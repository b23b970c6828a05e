// The engine's commands, states and notifications, with test decoders and outputs.
#include <gtest/gtest.h>

#include <memory>

#include "engine/player.h"
#include "tests/engine/engine_doubles.h"

namespace tunekiln::test {
namespace {

using Lines = std::vector<std::string>;

// 1000 frames per second of 16-bit stereo: 4000 bytes are one second, one block of the outputs.
constexpr StreamInfo kTenSeconds{.lengthSeconds = 10, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
constexpr StreamInfo kFiveSeconds{.lengthSeconds = 5, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
constexpr StreamInfo kOtherRate{.lengthSeconds = 3, .sampleRate = 2000, .stereo = 1, .sixteenBit = 1};

// Lets a test wait until the engine has made a given call.
class CallWatcher {
 public:
  void saw(const std::string& call) {
    std::lock_guard lock(mutex_);
    seen_.push_back(call);
    changed_.notify_all();
  }
  void waitFor(const std::string& call) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return std::find(seen_.begin(), seen_.end(), call) != seen_.end(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Lines seen_;
};

class PlayerProtocol : public ::testing::Test {
 protected:
  void start(TestOutputShape cardShape = {}, CallHook hook = {}) {
    auto slots = std::make_shared<EngineSlots>();
    slots->decoders[1] = std::make_unique<TestDecoder>(
        "wav", log,
        std::map<std::string, TestStream>{{"a.wav", {kTenSeconds, 40000}},
                                          {"short.wav", {kTenSeconds, 6000}},
                                          {"c.wav", {kOtherRate, 24000}}},
        hook);
    slots->decoders[2] =
        std::make_unique<TestDecoder>("mp3", log, std::map<std::string, TestStream>{{"b.mp3", {kFiveSeconds, 20000}}}, hook);
    auto cardOutput = std::make_unique<TestOutput>("card", log, cardShape, hook);
    auto fileOutput = std::make_unique<TestOutput>("file", log, TestOutputShape{}, hook);
    card = cardOutput.get();
    file = fileOutput.get();
    slots->outputs[0] = std::move(cardOutput);
    slots->outputs[2] = std::move(fileOutput);
    selectedOutput = 0;
    player = player_create(notifications, [slots] { return std::move(*slots); });
  }

  // Everything the engine reports until it answers a PING posted now.
  Lines sync() {
    const std::uint32_t value = ++pings_;
    player_post(*player, {.number = PLAYER_CMD_PING, .first = value});
    Lines seen;
    for (;;) {
      const auto notification = notifications.next();
      if (notification.number == PLAYER_NTF_PONG && notification.first == value) return seen;
      seen.push_back(describe(notification));
    }
  }

  // The next `count` notifications.
  Lines next(std::size_t count) {
    Lines seen;
    while (seen.size() < count) seen.push_back(describe(notifications.next()));
    return seen;
  }

  void open(const std::string& name) { player_open(*player, name); }

  // Opens a.wav and plays it to the end of the first pump: position 1 of 10 seconds.
  void playTenSeconds() {
    open("a.wav");
    player_play(*player);
    EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO 10", "POSITION 0", "INFO 10", "POSITION 1"}));
  }

  CallLog log;
  NotificationQueue notifications;
  // For the hooks, which the engine calls until its thread ends.
  Gate gate;
  CallWatcher watcher;
  std::unique_ptr<Player> player;  // ends before everything above, which it uses
  TestOutput* card = nullptr;
  TestOutput* file = nullptr;

 private:
  std::uint32_t pings_ = 0;
};

TEST_F(PlayerProtocol, OpenOffersTheFileToEachDecoderInTurnAndClosesThePreviousOne) {
  start();
  open("a.wav");
  EXPECT_EQ(sync(), Lines{}) << "a file that opens is only loaded";
  open("b.mp3");
  EXPECT_EQ(sync(), Lines{});
  open("missing.ogg");
  EXPECT_EQ(sync(), Lines{"STATE NO_STREAM"});
  EXPECT_EQ(log.calls(), (Lines{"wav.open(a.wav)", "wav.close", "wav.open(b.mp3)", "mp3.open(b.mp3)", "mp3.close",
                                "wav.open(missing.ogg)", "mp3.open(missing.ogg)"}));

  player_play(*player);
  player_open(*player, std::nullopt);
  EXPECT_EQ(sync(), Lines{"STATE NO_STREAM"}) << "PLAY without a stream posts nothing; a null name opens nothing";
  EXPECT_EQ(log.calls().size(), 7u);
}

TEST_F(PlayerProtocol, PlayOpensTheOutputAndReportsInfoRightBeforeEveryPosition) {
  start();
  playTenSeconds();
  EXPECT_EQ(log.callsOf("card"), (Lines{"card.open(1000)", "card.resume", "card.pump(4000)"}));
  EXPECT_EQ(sync(), Lines{}) << "without a wake-up the output is not pumped";

  card->wake();
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 2"}));
}

TEST_F(PlayerProtocol, PauseAndPlayAgainResumeTheSameOutputAndRepeatTheStatus) {
  start();
  playTenSeconds();
  player_pause(*player);
  player_play(*player);
  EXPECT_EQ(sync(), (Lines{"STATE PAUSED", "STATE PLAYING", "INFO 10", "POSITION 1"}));
  EXPECT_EQ(log.callsOf("card"), (Lines{"card.open(1000)", "card.resume", "card.pump(4000)", "card.pause", "card.resume"}));
}

TEST_F(PlayerProtocol, PauseAndStopWithNothingOpenStillReportTheirState) {
  start();
  player_pause(*player);
  player_stop(*player);
  EXPECT_EQ(sync(), (Lines{"STATE PAUSED", "STATE STOPPED"}));
  EXPECT_EQ(log.calls(), Lines{});
}

TEST_F(PlayerProtocol, EndOfStreamReportsNoStreamThenStoppedOnceTheOutputIsDone) {
  start();
  card->done = false;
  open("short.wav");
  player_play(*player);
  EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO 10", "POSITION 0", "INFO 10", "POSITION 1"}));
  card->wake();
  EXPECT_EQ(next(1), Lines{"STATE NO_STREAM"}) << "the last 2000 bytes came with the end";
  EXPECT_EQ(log.callsOf("card.pump"), (Lines{"card.pump(4000)", "card.pump(2000)"}));
  EXPECT_EQ(log.callsOf("wav.close").size(), 1u) << "the output closes the decoder at its end";

  card->wake();
  EXPECT_EQ(sync(), Lines{}) << "still playing what it holds";
  card->done = true;
  card->wake();
  EXPECT_EQ(next(1), Lines{"STATE STOPPED"});
  EXPECT_EQ(log.callsOf("card").back(), "card.close");

  player_play(*player);
  EXPECT_EQ(sync(), Lines{}) << "nothing is loaded any more";
}

TEST_F(PlayerProtocol, StopClosesDecoderAndOutput) {
  start();
  playTenSeconds();
  player_stop(*player);
  EXPECT_EQ(sync(), Lines{"STATE STOPPED"});
  const Lines calls = log.calls();
  EXPECT_EQ(Lines(calls.end() - 2, calls.end()), (Lines{"wav.close", "card.close"}));
  player_play(*player);
  EXPECT_EQ(sync(), Lines{});
}

TEST_F(PlayerProtocol, AnOutputWithoutWakeEventIsPumpedToTheEnd) {
  start({.wakeEvent = false});
  open("a.wav");
  player_play(*player);
  Lines expected{"STATE PLAYING", "INFO 10", "POSITION 0"};
  for (int second = 1; second <= 9; ++second) {
    expected.push_back("INFO 10");
    expected.push_back("POSITION " + std::to_string(second));
  }
  expected.push_back("STATE NO_STREAM");
  expected.push_back("STATE STOPPED");
  EXPECT_EQ(next(expected.size()), expected);
  EXPECT_EQ(log.callsOf("card.pump").size(), 10u);
}

TEST_F(PlayerProtocol, OpenOfTheSameFormatWhileRunningKeepsTheOutputOpen) {
  start();
  playTenSeconds();
  card->wake();
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 2"}));
  open("b.mp3");
  EXPECT_EQ(sync(), Lines{});
  card->wake();
  EXPECT_EQ(next(2), (Lines{"INFO 5", "POSITION 1"})) << "the new stream follows in the same output";
  EXPECT_EQ(log.callsOf("card"),
            (Lines{"card.open(1000)", "card.resume", "card.pump(4000)", "card.pump(4000)", "card.pump(4000)"}));
  EXPECT_EQ(log.callsOf("mp3"), (Lines{"mp3.open(b.mp3)"}));
}

TEST_F(PlayerProtocol, OpenOfAnotherFormatWhileRunningDrainsAndReopensTheOutput) {
  start({}, [this](const std::string& call) { watcher.saw(call); });
  playTenSeconds();
  card->done = false;
  open("c.wav");
  watcher.waitFor("card.isDone:no");
  EXPECT_EQ(notifications.poll(), std::nullopt) << "STOPPED waits until the output has played what it holds";

  card->done = true;
  card->wake();
  EXPECT_EQ(next(3), (Lines{"STATE STOPPED", "INFO 3", "POSITION 0"}));
  const Lines calls = log.callsOf("card");
  EXPECT_EQ(Lines(calls.end() - 3, calls.end()), (Lines{"card.close", "card.open(2000)", "card.pump(4000)"}));
}

TEST_F(PlayerProtocol, RefusedOpenWhileRunningFinishesTheOutput) {
  start();
  playTenSeconds();
  open("missing.ogg");
  EXPECT_EQ(sync(), Lines{"STATE NO_STREAM"});
  card->wake();
  EXPECT_EQ(next(1), Lines{"STATE STOPPED"});
  EXPECT_EQ(log.callsOf("card").back(), "card.close");
}

TEST_F(PlayerProtocol, SeekMovesTheDecoderAndDropsWhatTheOutputHolds) {
  start();
  open("a.wav");
  player_seek(*player, 50, 100);
  EXPECT_EQ(sync(), Lines{}) << "SEEK with the output closed does nothing";
  EXPECT_EQ(log.callsOf("wav.seek"), Lines{});

  player_play(*player);
  EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO 10", "POSITION 0", "INFO 10", "POSITION 1"}));
  player_seek(*player, 50, 100);
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 6"})) << "5 s, and one block pumped at once";
  EXPECT_EQ(log.callsOf("wav.seek"), Lines{"wav.seek(50,100)"});
  EXPECT_EQ(log.callsOf("card.reset").size(), 1u);
}

TEST_F(PlayerProtocol, SeekWhileFinishingEndsThePlayback) {
  start();
  card->done = false;
  open("short.wav");
  player_play(*player);
  next(5);
  card->wake();
  EXPECT_EQ(next(1), Lines{"STATE NO_STREAM"});
  player_seek(*player, 10, 100);
  EXPECT_EQ(next(1), Lines{"STATE STOPPED"}) << "the reset leaves nothing to wait for";
}

TEST_F(PlayerProtocol, OnlyTheNewestOfSeveralQueuedSeeksIsCarriedOut) {
  start({}, [this](const std::string& call) {
    if (call == "card.setVolume(50)") gate.arriveAndWait();
  });
  playTenSeconds();
  player_set_volume(*player, 50);
  gate.waitUntilArrived();
  for (std::uint32_t i = 1; i <= 20; ++i) player_seek(*player, i, 100);
  gate.release();
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 3"}));
  EXPECT_EQ(log.callsOf("wav.seek"), Lines{"wav.seek(20,100)"});
  EXPECT_EQ(log.callsOf("card.reset").size(), 1u);
}

TEST_F(PlayerProtocol, OnlyTheNewestOfSeveralQueuedOpensIsCarriedOut) {
  start({}, [this](const std::string& call) {
    if (call == "wav.open(first.wav)") gate.arriveAndWait();
  });
  open("first.wav");
  gate.waitUntilArrived();
  open("a.wav");
  open("c.wav");
  open("b.mp3");
  gate.release();
  EXPECT_EQ(sync(), Lines{"STATE NO_STREAM"}) << "for first.wav, which no decoder takes";
  EXPECT_EQ(log.callsOf("wav.open"), (Lines{"wav.open(first.wav)", "wav.open(b.mp3)"}));
  EXPECT_EQ(log.callsOf("mp3.open"), (Lines{"mp3.open(first.wav)", "mp3.open(b.mp3)"}));
}

TEST_F(PlayerProtocol, QuitEndsTheThreadAfterWhatIsQueuedAndClosesEverything) {
  start({}, [this](const std::string& call) {
    if (call == "card.setVolume(50)") gate.arriveAndWait();
  });
  playTenSeconds();
  player_set_volume(*player, 50);
  gate.waitUntilArrived();
  player_post(*player, {.number = PLAYER_CMD_QUIT});
  player_post(*player, {.number = PLAYER_CMD_PING, .first = 77});
  open("b.mp3");
  gate.release();
  EXPECT_EQ(next(1), Lines{"PONG 77"});
  player.reset();  // joins the thread
  EXPECT_EQ(log.callsOf("mp3"), (Lines{"mp3.open(b.mp3)", "mp3.close"})) << "what was queued behind QUIT was handled";
  const Lines calls = log.calls();
  EXPECT_EQ(Lines(calls.end() - 2, calls.end()), (Lines{"mp3.close", "card.close"}));
}

TEST_F(PlayerProtocol, PingIsAnsweredWithItsValueAndListOutputsNamesEverySlot) {
  start();
  player_post(*player, {.number = PLAYER_CMD_PING, .first = 0xDEADBEEF});
  player_post(*player, {.number = PLAYER_CMD_LIST_OUTPUTS});
  EXPECT_EQ(next(4),
            (Lines{"PONG " + std::to_string(0xDEADBEEFu), "OUTPUT_NAME 0 card", "OUTPUT_NAME 1 (none)", "OUTPUT_NAME 2 file"}));
}

TEST_F(PlayerProtocol, NumbersWithoutACommandAreIgnored) {
  start();
  for (const std::uint32_t number : {0x8007u, 0x8008u, 0x800Cu, 0x800Eu, 0x8010u, 0x1234u}) {
    player_post(*player, {.number = number, .name = "a.wav"});
  }
  EXPECT_EQ(sync(), Lines{});
  EXPECT_EQ(log.calls(), Lines{});
}

TEST_F(PlayerProtocol, SelectOutputMovesTheDecoderAtItsPositionToTheNewOutput) {
  start();
  playTenSeconds();
  card->wake();
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 2"}));

  selectedOutput = 2;
  player_select_output(*player);
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 3"})) << "no STOPPED; the file output goes on from 2 s";
  EXPECT_EQ(log.callsOf("card").back(), "card.close");
  EXPECT_EQ(log.callsOf("file"), (Lines{"file.open(1000)", "file.pump(4000)"}));
  EXPECT_EQ(log.callsOf("wav.open").size(), 1u);

  player_select_output(*player);
  EXPECT_EQ(sync(), Lines{});
  EXPECT_EQ(log.callsOf("file").size(), 2u) << "selecting the current output changes nothing";
}

TEST_F(PlayerProtocol, SelectingAnEmptySlotKeepsTheFileForTheNextOutput) {
  start();
  open("a.wav");
  selectedOutput = 1;
  player_select_output(*player);
  EXPECT_EQ(sync(), Lines{});
  selectedOutput = 7;
  player_select_output(*player);
  player_play(*player);
  EXPECT_EQ(sync(), Lines{}) << "an empty slot plays nothing; 7 names no slot";

  selectedOutput = 2;
  player_select_output(*player);
  EXPECT_EQ(next(2), (Lines{"INFO 10", "POSITION 1"}));
  EXPECT_EQ(log.callsOf("file"), (Lines{"file.open(1000)", "file.pump(4000)"}));
  EXPECT_EQ(log.callsOf("card"), Lines{});
}

TEST_F(PlayerProtocol, VolumeZeroIsAppliedAtOpenAndAnyLevelWhileOpen) {
  start();
  player_set_volume(*player, 70);
  playTenSeconds();
  EXPECT_EQ(log.callsOf("card.setVolume"), Lines{}) << "a non-zero level waits for the next SET_VOLUME";
  player_set_volume(*player, 0);
  player_stop(*player);
  EXPECT_EQ(sync(), Lines{"STATE STOPPED"});
  playTenSeconds();
  EXPECT_EQ(log.callsOf("card.setVolume"), (Lines{"card.setVolume(0)", "card.setVolume(0)"}));
}

TEST_F(PlayerProtocol, DrainLetsTheOutputFinishAndKeepsTheFileLoaded) {
  start();
  playTenSeconds();
  player_post(*player, {.number = PLAYER_CMD_DRAIN});
  EXPECT_EQ(sync(), Lines{"STATE STOPPED"});
  EXPECT_EQ(log.callsOf("card").back(), "card.close");
  EXPECT_EQ(log.callsOf("wav.close"), Lines{});

  player_play(*player);
  EXPECT_EQ(next(5), (Lines{"STATE PLAYING", "INFO 10", "POSITION 1", "INFO 10", "POSITION 2"}));
}

}  // namespace
}  // namespace tunekiln::test
