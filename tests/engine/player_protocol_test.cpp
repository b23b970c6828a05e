// The engine's commands and what it reports for them, with test decoders and outputs: each
// row is a script of commands and events and the notifications it must bring, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "engine/player.h"
#include "tests/support/engine_doubles.h"

namespace tunekiln::test {
namespace {

// 1000 frames per second of 16-bit stereo: 4000 bytes are one second, one block of the outputs.
constexpr StreamInfo kTenSeconds{.lengthSeconds = 10, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
constexpr StreamInfo kFiveSeconds{.lengthSeconds = 5, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
constexpr StreamInfo kOtherRate{.lengthSeconds = 3, .sampleRate = 2000, .stereo = 1, .sixteenBit = 1};
constexpr std::uint32_t kOwnPing = 0xF1;

const std::map<std::string, std::uint32_t> kCommands = {
    {"play", PLAYER_CMD_PLAY}, {"pause", PLAYER_CMD_PAUSE}, {"stop", PLAYER_CMD_STOP},           {"drain", PLAYER_CMD_DRAIN},
    {"ping", PLAYER_CMD_PING}, {"quit", PLAYER_CMD_QUIT},   {"list", PLAYER_CMD_LIST_OUTPUTS}};

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : ", ") + line;
  return text;
}

// Keeps what the engine reports as lines, the answer to the test's own PING as an empty one.
struct Heard final : NotificationSink {
  void post(PlayerNotification n) override { lines.add(n.number == PLAYER_NTF_PONG && n.first == kOwnPing ? "" : describe(n)); }
  CallLog lines;
};

// A player with test decoders ("wav" for the .wav names, "mp3" for b.mp3) and test outputs:
// "card" in slot 0, "file" in slot 2. The first line heard is the answer to a PING, once the
// engine has read selectedOutput.
struct Rig {
  Rig() {
    auto slots = std::make_shared<EngineSlots>();
    const std::map<std::string, TestStream> wavs = {{"a.wav", {kTenSeconds, 40000}}, {"short.wav", {kTenSeconds, 6000}},
        {"c.wav", {kOtherRate, 24000}}, {"empty.wav", {kTenSeconds, 0}}, {"failing.wav", {kTenSeconds, 6000, true}}};
    slots->decoders[1] = std::make_unique<TestDecoder>("wav", log, wavs);
    slots->decoders[2] = std::make_unique<TestDecoder>("mp3", log, std::map<std::string, TestStream>{{"b.mp3", {kFiveSeconds, 20000}}});
    slots->outputs[0] = std::make_unique<TestOutput>("card", log);
    card = static_cast<TestOutput*>(slots->outputs[0].get());
    slots->outputs[2] = std::make_unique<TestOutput>("file", log);
    selectedOutput = 0;
    player = player_create(heard, [slots] { return std::move(*slots); }, [] { return nullptr; });
    player_post(*player, {.number = PLAYER_CMD_PING, .first = kOwnPing});
    heard.lines.waitForMoreThan(0, "");
  }

  // Carries out the steps of a script and waits for `expected` lines, then for the answer to
  // a PING; what the engine reported, where "|" marks what had come at a `mark`. Commands are
  // posted without waiting: "=N" waits until N lines have come, as a command's pump comes only
  // after every command queued with it.
  std::string run(const std::string& script, std::size_t expected = 0) {
    std::vector<std::size_t> marks;
    std::istringstream steps(script);
    for (std::string step; std::getline(steps >> std::ws, step, ';');) {
      const auto space = step.find(' ');
      const std::string word = step.substr(0, space), argument = space == std::string::npos ? "" : step.substr(space + 1);
      const auto number = static_cast<std::uint32_t>(std::strtoul(argument.c_str(), nullptr, 0));
      if (kCommands.contains(word)) player_post(*player, {.number = kCommands.at(word), .first = 7});
      if (word == "send") player_post(*player, {.number = number, .name = "a.wav"});  // numbers of no command
      if (word == "open") player_open(*player, argument == "-" ? std::nullopt : std::optional(argument));
      if (word == "seek") player_seek(*player, number, 100);
      if (word == "volume") player_set_volume(*player, number);
      if (word == "select") selectedOutput = static_cast<std::int32_t>(number), player_select_output(*player);
      if (word == "busy" || word == "idle") card->done = word == "idle";
      if (word == "wake") card->wake();
      if (word == "hold" || word == "release") log.holdAt(argument);
      if (word == "held") log.waitUntilHeld();
      if (word == "end") player.reset();
      if (word.starts_with("=")) heard.lines.waitForMoreThan(std::stoul(word.substr(1)), "");
      if (word == "waitfor") log.waitForMoreThan(0, argument);
      if (word == "mark") marks.push_back(heard.lines.callsOf("").size());
    }
    heard.lines.waitForMoreThan(expected, "");
    if (player) {
      const std::size_t before = heard.lines.callsOf("").size();
      player_post(*player, {.number = PLAYER_CMD_PING, .first = kOwnPing});
      heard.lines.waitForMoreThan(before, "");
    }
    std::vector<std::string> lines = heard.lines.callsOf("");
    for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*mark), "|");
    std::erase(lines, "");
    return joined(lines);
  }

  CallLog log;
  Heard heard;
  std::unique_ptr<Player> player;  // ends before everything above, which its thread uses
  TestOutput* card = nullptr;
};

const std::string kPlaying = "STATE PLAYING, INFO 10, POSITION 0, INFO 10, POSITION 1";

TEST(PlayerProtocol, EachScriptBringsItsNotifications) {
  // `calls`, unless "-": every call of the kinds it names, as "who.what".
  const struct {
    std::string script, heard, calls = "-";
  } rows[] = {
      {"send 0x8007; send 0x800E; send 0x1234; open -", "STATE NO_STREAM", ""},
      {"open a.wav; open missing.ogg", "STATE NO_STREAM", "mp3.open(missing.ogg)"},
      {"open a.wav; play; =5; pause; play", kPlaying + ", STATE PAUSED, STATE PLAYING, INFO 10, POSITION 1", "card.open(1000)"},
      {"open a.wav; play; =5; stop; play", kPlaying + ", STATE STOPPED", "card.close"},
      {"busy; open short.wav; play; =5; wake; =6; mark; idle; wake", kPlaying + ", STATE NO_STREAM, |, STATE STOPPED", "wav.close"},
      {"open empty.wav; play", "STATE PLAYING, INFO 10, POSITION 0, STATE NO_STREAM, STATE STOPPED"},
      {"busy; open failing.wav; play; =5; wake", kPlaying + ", READ_FAILED, STATE NO_STREAM"},
      {"open a.wav; play; =5; wake; open b.mp3; ping; =8; wake", kPlaying + ", INFO 10, POSITION 2, PONG 7, INFO 5, POSITION 1",
       "card.open(1000)"},
      {"busy; open a.wav; play; =5; open c.wav; waitfor card.isDone:no; mark; idle; wake",
       kPlaying + ", |, STATE STOPPED, INFO 3, POSITION 0", "card.open(1000), card.open(2000)"},
      {"open a.wav; seek 50; play; =5; seek 50", kPlaying + ", INFO 10, POSITION 6", "card.reset"},
      {"busy; open short.wav; play; =5; wake; seek 10", kPlaying + ", STATE NO_STREAM, STATE STOPPED"},
      {"hold wav.open(x.wav); open x.wav; held; open a.wav; open c.wav; open b.mp3; release; play",
       "STATE NO_STREAM, STATE PLAYING, INFO 5, POSITION 0, INFO 5, POSITION 1", "mp3.open(x.wav), mp3.open(b.mp3)"},
      {"open a.wav; play; =5; hold card.setVolume(5); volume 5; held; seek 10; seek 20; seek 30; release",
       kPlaying + ", INFO 10, POSITION 4", "wav.seek(30,100)"},
      {"open a.wav; select 2; =2; select 0; =4; select 0; select 1; play; ping; =5; select 7; play",  // 1 is empty, 7 no slot
       "INFO 10, POSITION 1, INFO 10, POSITION 2, PONG 7", "card.open(1000), card.pump(4000), card.close"},
      {"volume 70; open a.wav; play; =5; volume 0; drain; play",
       kPlaying + ", STATE STOPPED, STATE PLAYING, INFO 10, POSITION 1, INFO 10, POSITION 2", "card.setVolume(0), card.setVolume(0)"},
      {"open a.wav; play; =5; hold card.setVolume(5); volume 5; held; quit; ping; list; open b.mp3; release; end",
       kPlaying + ", PONG 7, OUTPUT_NAME 0 card, OUTPUT_NAME 1 (none), OUTPUT_NAME 2 file", "mp3.open(b.mp3), mp3.close"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    Rig rig;
    const auto count = [&row](char c) { return static_cast<std::size_t>(std::count(row.heard.begin(), row.heard.end(), c)); };
    EXPECT_EQ(rig.run(row.script, count(',') + 1 - count('|')), row.heard);
    rig.player.reset();
    if (row.calls == "-") continue;
    std::vector<std::string> calls = rig.log.callsOf("");
    std::erase_if(calls, [&row](const std::string& c) { return row.calls.find(c.substr(0, c.find('('))) == std::string::npos; });
    EXPECT_EQ(joined(calls), row.calls);
  }
}

}  // namespace
}  // namespace tunekiln::test
