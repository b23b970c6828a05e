// The engine's commands and what the receiver hears of them, with test decoders and outputs:
// each row is a script of commands and events, the words it must bring in order, and the calls
// the engine must have made of one kind.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/mixer.h"
#include "engine/player.h"
#include "tests/support/engine_doubles.h"

namespace tunekiln::test {
namespace {

// The test's own PING
constexpr std::uint32_t kSync = 0xF1;

// 1000 frames per second of 16-bit stereo: 4000 bytes are one second, one pump of the outputs.
constexpr StreamInfo seconds(std::int32_t length, std::int32_t rate = 1000) {
  return {.lengthSeconds = length, .sampleRate = rate, .stereo = 1, .sixteenBit = 1};
}

// A player with test decoders ("wav" for the .wav names, "mp3" for b.mp3), outputs "card" in
// slot 0 and "file" in slot 2, and no mixer. It keeps what the engine reports as words: a state
// or failure as describe() gives it, a POSITION as the seconds heard "/" the length of the INFO
// just before it, an INFO without a POSITION as "INFO=" and the length, an output as
// "slot:name"; the answers to its own PING apart.
struct Rig final : NotificationSink {
  using Streams = std::map<std::string, TestStream>;
  Rig() {
    auto slots = std::make_shared<EngineSlots>();
    slots->decoders[1] = std::make_unique<TestDecoder>(
        "wav", log,
        Streams{{"a.wav", {seconds(10), 40000}}, {"short.wav", {seconds(2), 10000}},
                {"c.wav", {seconds(3, 2000), 24000}}});
    wav = static_cast<TestDecoder*>(slots->decoders[1].get());
    slots->decoders[2] = std::make_unique<TestDecoder>("mp3", log, Streams{{"b.mp3", {seconds(5), 20000}}});
    slots->outputs[0] = std::make_unique<TestOutput>("card", log);
    card = static_cast<TestOutput*>(slots->outputs[0].get());
    slots->outputs[2] = std::make_unique<TestOutput>("file", log);
    selectedOutput = 0;
    player = player_create(*this, [slots] { return std::move(*slots); }, [] { return nullptr; });
    // The engine has read selectedOutput
    sync();
  }

  void post(PlayerNotification n) override {
    const auto length = std::exchange(infoLength, std::nullopt);
    if (length && n.number != PLAYER_NTF_POSITION) words.add("INFO=" + std::to_string(*length));
    if (n.number == PLAYER_NTF_INFO) {
      infoLength = n.info->lengthSeconds;
    } else if (n.number == PLAYER_NTF_POSITION) {
      words.add(std::to_string(heard_seconds(n)) + "/" + (length ? std::to_string(*length) : "?"));
    } else if (n.number == PLAYER_NTF_OUTPUT_NAME) {
      words.add(std::to_string(n.second) + ":" + n.name.value_or(""));
    } else {
      (n.number == PLAYER_NTF_PONG && n.first == kSync ? syncs : words).add(describe(n));
    }
  }

  void sync() {
    const std::size_t before = syncs.callsOf("").size();
    player_post(*player, {.number = PLAYER_CMD_PING, .first = kSync});
    syncs.waitForMoreThan(before, "");
  }

  // Carries out the script's steps, waits for `expected` words and then for the engine to be
  // idle; gives the words. Commands go without waiting: "=N" waits until N words have come, as a
  // pump comes only after every command queued with its own.
  std::string run(const std::string& script, std::size_t expected) {
    static const std::map<std::string, std::uint32_t> kCommands = {
        {"play", PLAYER_CMD_PLAY}, {"pause", PLAYER_CMD_PAUSE}, {"stop", PLAYER_CMD_STOP},
        {"drain", PLAYER_CMD_DRAIN}, {"quit", PLAYER_CMD_QUIT}, {"list", PLAYER_CMD_LIST_OUTPUTS}};
    std::istringstream steps(script);
    for (std::string step; std::getline(steps >> std::ws, step, ';');) {
      std::istringstream parts(step);
      std::string word, argument;
      parts >> word >> argument;
      const auto number = static_cast<std::uint32_t>(std::strtoul(argument.c_str(), nullptr, 10));
      if (kCommands.contains(word)) player_post(*player, {.number = kCommands.at(word)});
      if (word == "open") player_open(*player, argument == "-" ? std::nullopt : std::optional(argument));
      if (word == "seek") player_seek(*player, number, 100);
      if (word == "volume") mixer_set_volume(*player, number);
      if (word == "select") selectedOutput = static_cast<std::int32_t>(number), player_select_output(*player);
      if (word == "sync") sync();
      if (word == "length") wav->lengthKnown();
      if (word == "busy" || word == "idle") card->done = word == "idle";
      if (word == "unheard") card->unheard = number;
      if (word == "wake") card->wake();
      if (word == "waitfor") log.waitForMoreThan(0, argument);
      // While the engine waits in `waitfor`
      if (word == "mark") words.add("|");
      if (word == "end") player.reset();
      if (word.starts_with("=")) words.waitForMoreThan(std::stoul(word.substr(1)) - 1, "");
    }
    words.waitForMoreThan(expected - 1, "");
    if (player) sync();
    std::string text;
    for (const auto& w : words.callsOf("")) text += (text.empty() ? "" : " ") + w;
    return text;
  }

  CallLog log, words, syncs;
  std::optional<std::int32_t> infoLength;
  TestDecoder* wav = nullptr;
  TestOutput* card = nullptr;
  // Ends before everything above, which its thread uses
  std::unique_ptr<Player> player;
};

TEST(PlayerProtocol, EachScriptBringsItsWordsAndCalls) {
  // After PLAY, and the pump it brings
  const std::string kPlaying = "PLAYING 0/10 1/10";
  // Two seconds into a.wav, waiting for the output to play out before c.wav, at another rate.
  const std::string kDraining = "busy; open a.wav; play; =3; wake; =4; open c.wav; waitfor card.isDone; ";
  const struct {
    std::string script, heard;
    // Every call that starts with `kind`, unless that is empty
    std::string kind = "", calls = "";
  } rows[] = {
      {"open -; sync; pause; stop; play; length; open a.wav; sync; open missing.ogg; play",
       "NO_STREAM PAUSED STOPPED NO_STREAM", "wav", "wav.open(a.wav), wav.close, wav.open(missing.ogg)"},
      {"open a.wav; play; =3; length; pause; play; =7; stop; play",
       kPlaying + " INFO=10 PAUSED PLAYING 1/10 STOPPED", "card.open", "card.open(1000)"},
      // Sound still on its way to the speaker at the end: the seconds heard reach the length.
      {"busy; unheard 2500; open short.wav; play; =3; wake; =4; wake; =5; unheard 1000; wake; =6; "
       "idle; unheard 0; wake",
       "PLAYING 0/2 0/2 0/2 NO_STREAM 1/2 2/2 STOPPED"},
      // The last read crosses a whole second: the end is still told. The PLAY's position comes
      // before its pump, which brings no new second here. The output, done at the stream's end,
      // is closed at once, as for a stream with nothing in it.
      {"open c.wav; play; waitfor card.pump; wake; wake; wake; wake; wake",
       "PLAYING 0/3 1/3 2/3 NO_STREAM 3/3 STOPPED"},
      // The same format plays on in the open output; another one waits until it has played out.
      {"open a.wav; play; =3; wake; =4; open b.mp3; sync; wake", kPlaying + " 2/10 1/5", "card.open",
       "card.open(1000)"},
      {kDraining + "mark; idle; wake", kPlaying + " 2/10 | STOPPED 0/3", "card.open",
       "card.open(1000), card.open(2000)"},
      // A SEEK before the output opens does nothing; one past the end ends the stream.
      {"open a.wav; seek 50; play; =3; seek 50; =4; seek 150", kPlaying + " 6/10 NO_STREAM 10/10 STOPPED",
       "card.reset", "card.reset, card.reset"},
      // While the engine waits for the output to play out, commands queue up: only the newest
      // of the OPENs and of the SEEKs waiting together counts, and what was queued behind a QUIT
      // is handled, and what it opened is closed. The output goes with the QUIT, so the engine
      // finds it done when its own wait ends rather than woken by it.
      {kDraining + "open x.wav; open a.wav; open b.mp3; idle; wake", kPlaying + " 2/10 STOPPED STOPPED 1/5",
       "wav.open", "wav.open(a.wav), wav.open(c.wav), wav.open(b.mp3)"},
      {kDraining + "seek 10; seek 20; seek 30; idle; wake", kPlaying + " 2/10 STOPPED 1/3", "wav.seek",
       "wav.seek(30,100)"},
      {kDraining + "quit; list; open b.mp3; idle; end",
       kPlaying + " 2/10 STOPPED 0:card 1: 2:file STOPPED", "mp3.", "mp3.open(b.mp3), mp3.close"},
      // The decoder moves on from where it was; slot 1 is empty, 7 names no slot.
      {"open a.wav; select 2; =1; select 0; =2; select 0; sync; select 1; play; sync; select 7; play",
       "1/10 2/10", "card.", "card.open(1000), card.pump, card.close"},
      // A level is applied to an open output, and at open only when it is 0; above 100 is 100.
      {"volume 70; open a.wav; play; =3; volume 0; drain; play; =7; volume 250",
       kPlaying + " STOPPED PLAYING 1/10 2/10", "card.setVolume",
       "card.setVolume(0), card.setVolume(0), card.setVolume(100)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    Rig rig;
    const auto words = static_cast<std::size_t>(std::ranges::count(row.heard, ' ') + 1);
    EXPECT_EQ(rig.run(row.script, words), row.heard);
    rig.player.reset();
    if (row.kind.empty()) continue;
    std::string calls;
    for (const auto& call : rig.log.callsOf(row.kind)) calls += (calls.empty() ? "" : ", ") + call;
    EXPECT_EQ(calls, row.calls);
  }
}

}  // namespace
}  // namespace tunekiln::test
