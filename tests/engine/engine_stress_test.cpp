// Thousands of random commands against the engine with its real decoders and WAV file writer
// and a sound card whose device plays each block as it comes. After every burst the states
// reported must be a path through the engine's state table, no device may be open that should
// not be, and every file written must be whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "engine/player.h"
#include "engine/standard_slots.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// The state table as the receiver sees it: the state a command posts of its own. PAUSE and
// STOP always post theirs, PLAY only when there is something to play. Any time between
// commands a stream may end (NO_STREAM) and then its output (STOPPED), as after OPEN or DRAIN.
const std::map<std::uint32_t, std::uint32_t> kOwnState = {
    {PLAYER_CMD_PLAY, PLAYER_STATE_PLAYING}, {PLAYER_CMD_PAUSE, PLAYER_STATE_PAUSED}, {PLAYER_CMD_STOP, PLAYER_STATE_STOPPED}};

// True when the states can be matched to the commands in order, each command posting what its
// row allows and the rest coming by themselves.
bool is_path(const std::vector<std::uint32_t>& commands, const std::vector<std::uint32_t>& states) {
  std::set<std::size_t> handled{0};  // how many commands each way through has handled so far
  const auto silentTo = [&](std::size_t from, auto each) {
    for (std::size_t i = from; i <= commands.size(); ++i) {
      each(i);
      if (i == commands.size() || commands[i] == PLAYER_CMD_PAUSE || commands[i] == PLAYER_CMD_STOP) break;
    }
  };
  for (const std::uint32_t state : states) {
    std::set<std::size_t> next;
    for (const std::size_t from : handled) {
      if (state == PLAYER_STATE_NO_STREAM || state == PLAYER_STATE_STOPPED) next.insert(from);
      silentTo(from, [&](std::size_t i) {
        if (i < commands.size() && kOwnState.contains(commands[i]) && kOwnState.at(commands[i]) == state) next.insert(i + 1);
      });
    }
    handled = std::move(next);
  }
  bool whole = false;
  for (const std::size_t from : handled) silentTo(from, [&](std::size_t i) { whole |= i == commands.size(); });
  return whole;
}

TEST(EngineStress, RandomCommandsFollowTheStateTable) {
  TempDir dir;
  ScriptedDestination host;  // three files, so that some are replaced
  host.answer = [&dir](std::size_t n) { return std::optional(dir.file("out" + std::to_string(n % 3) + ".wav")); };
  write_file(dir.file("a.wav"), make_wav({}, ramp_bytes(640 * 1024)));
  write_file(dir.file("b.mp3"), make_mp3({.tone = {.seconds = 1.0}}));
  write_file(dir.file("c.wav"), make_wav({.channels = 1, .sampleRate = 8000, .bits = 8}, ramp_bytes(16000)));
  write_file(dir.file("bad.wav"), Bytes(30, 'R'));
  const char* const inputs[] = {"a.wav", "b.mp3", "c.wav", "bad.wav", "none"};

  DeviceDoubles devices;  // the card refuses 8-bit sound, so that an output without a device is played too
  devices.refusal = [](const WaveFormat& f) { return f.bitsPerSample == 8 ? std::optional(DeviceFailure::formatRefused) : std::nullopt; };
  NotificationQueue notifications;
  selectedOutput = 0;
  auto player = player_create(
      notifications,
      [&] {
        EngineSlots slots = standard_engine_slots(host);
        slots.outputs[0] = std::make_unique<SoundCardOutput>(devices.opener(true));
        return slots;
      },
      [] { return nullptr; });

  std::mt19937 random(20240607);
  const auto pick = [&](std::uint32_t below) { return std::uniform_int_distribution<std::uint32_t>(0, below - 1)(random); };
  const std::uint32_t kinds[] = {PLAYER_CMD_OPEN, PLAYER_CMD_OPEN, PLAYER_CMD_PLAY,  PLAYER_CMD_PLAY,       PLAYER_CMD_SEEK,
                                 PLAYER_CMD_PAUSE, PLAYER_CMD_STOP, PLAYER_CMD_DRAIN, PLAYER_CMD_SET_VOLUME, PLAYER_CMD_SELECT_OUTPUT};
  bool pausedMayHold = false;  // a paused card finishes nothing: a DRAIN, or an OPEN that drains it, would wait for ever
  for (std::uint32_t sent = 0, ping = 1; sent < 3000; ++ping) {
    std::vector<std::uint32_t> burst;
    for (std::uint32_t count = 1 + pick(4); burst.size() < count;) {
      const std::uint32_t number = kinds[pick(std::size(kinds))];
      // Only the newest queued OPEN or SEEK counts, and SELECT_OUTPUT reads the slot when it is
      // handled: one of each a burst keeps the path certain.
      const bool onceABurst = number == PLAYER_CMD_OPEN || number == PLAYER_CMD_SEEK || number == PLAYER_CMD_SELECT_OUTPUT;
      if ((onceABurst && std::ranges::count(burst, number) > 0) || (number == PLAYER_CMD_DRAIN && pausedMayHold)) continue;
      const std::string name = inputs[pausedMayHold ? 3 + pick(2) : pick(std::size(inputs))];
      const std::uint32_t value = number == PLAYER_CMD_SELECT_OUTPUT ? 2 * pick(2) : pick(101);
      if (number == PLAYER_CMD_SELECT_OUTPUT) selectedOutput = static_cast<std::int32_t>(value);
      player_post(*player, {number, value, 100, dir.file(name)});
      burst.push_back(number);
      pausedMayHold = (pausedMayHold || number == PLAYER_CMD_PAUSE) && number != PLAYER_CMD_STOP;
    }
    sent += static_cast<std::uint32_t>(burst.size());
    player_post(*player, {.number = PLAYER_CMD_PING, .first = ping});

    std::vector<std::uint32_t> states;
    bool infoWaitsForPosition = false;
    for (PlayerNotification n = notifications.next(); n.number != PLAYER_NTF_PONG; n = notifications.next()) {
      ASSERT_TRUE(n.number != PLAYER_NTF_POSITION || infoWaitsForPosition);
      infoWaitsForPosition = n.number == PLAYER_NTF_INFO;
      if (n.number == PLAYER_NTF_STATE) states.push_back(n.first);
      ASSERT_TRUE(n.number < PLAYER_NTF_READ_FAILED || n.number == PLAYER_NTF_FORMAT_REFUSED);
    }
    ASSERT_TRUE(is_path(burst, states)) << "after command " << sent;
    ASSERT_LE(devices.open, burst.back() == PLAYER_CMD_STOP ? 0 : 1);  // STOP lets the device go
  }
  player.reset();

  EXPECT_EQ(devices.open, 0);
  // Only whole decoded files are left, each with the sizes of what it holds.
  for (const auto& name : dir.entries()) {
    if (std::ranges::find(inputs, name) != std::end(inputs)) continue;
    ASSERT_TRUE(name.starts_with("out")) << name;
    const Bytes file = read_file(dir.file(name));
    ASSERT_GE(file.size(), 46u);
    EXPECT_EQ(le32(file, 4), file.size() - 8);
    EXPECT_EQ(le32(file, 42), file.size() - 46);
  }
}

}  // namespace
}  // namespace tunekiln::test
