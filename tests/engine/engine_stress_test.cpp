// Thousands of random commands against the engine with its real decoders and WAV file writer
// and a sound card that plays each block at once on a thread of its own. After every burst
// the notifications must tell a story the state table allows, and the engine must be where
// that story ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <random>
#include <thread>

#include "engine/player.h"
#include "engine/standard_slots.h"
#include "tests/engine/engine_doubles.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// Plays each queued block at once, on a thread of its own, unless paused.
class InstantDevice final : public WaveOutDevice {
 public:
  InstantDevice(WakeEvent& wake, std::atomic<int>& openDevices) : wake_(wake), openDevices_(openDevices) {
    ++openDevices_;
  }
  ~InstantDevice() override {
    locked([this] { quit_ = true; });
    player_.join();
    for (WaveBlock* block : queue_) block->queued = false;
    --openDevices_;
  }
  void write(WaveBlock& block) override {
    locked([&] {
      block.queued = true;
      queue_.push_back(&block);
    });
  }
  std::chrono::microseconds unheard() override { return {}; }
  void pause() override { locked([this] { paused_ = true; }); }
  void restart() override { locked([this] { paused_ = false; }); }
  void reset() override {
    locked([this] {
      for (WaveBlock* block : queue_) block->queued = false;
      queue_.clear();
    });
    wake_.signal();  // each dropped block counts as finished
  }
  void setVolume(VolumeWord) override {}
  bool gone() const override { return false; }

 private:
  void locked(const std::function<void()>& change) {
    std::lock_guard lock(mutex_);
    change();
    changed_.notify_all();
  }

  WakeEvent& wake_;
  std::atomic<int>& openDevices_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<WaveBlock*> queue_;
  bool paused_ = false, quit_ = false;
  std::thread player_{[this] {
    std::unique_lock lock(mutex_);
    while (changed_.wait(lock, [this] { return quit_ || (!paused_ && !queue_.empty()); }), !quit_) {
      queue_.front()->queued = false;
      queue_.pop_front();
      lock.unlock();
      wake_.signal();
      lock.lock();
    }
  }};
};

// Answers every destination prompt with one of three files, so that some are replaced.
struct TempPathHost final : WavWriterHost {
  std::optional<std::string> chooseDestination(const FileDialogRequest&) override {
    return dir.file("out" + std::to_string(asked++ % 3) + ".wav");
  }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
  TempDir dir;
  int asked = 0;
  std::vector<std::string> messages;
};

struct Command {
  PlayerCommand message;
  int format = -1;  // OPEN: -1 refused by every decoder, 0 44.1 kHz 16-bit stereo, 1 8 kHz 8-bit mono
};

// What the state table says of the engine; `paused` may still be true where the card resumed.
struct State {
  bool attached = false, open = false, paused = false;
  std::uint32_t output = 0;
  int openFormat = -1, attachedFormat = -1;
  bool operator==(const State&) const = default;
};

// Carries out a command by the table; the state it posts, if any.
std::optional<std::uint32_t> apply(State& s, const Command& command) {
  switch (command.message.number) {
    case PLAYER_CMD_OPEN:
      s.attached = command.format >= 0;
      s.attachedFormat = command.format;
      if (!s.attached) return PLAYER_STATE_NO_STREAM;
      if (!s.open || command.format == s.openFormat) return std::nullopt;
      s.openFormat = command.format;  // drained, closed and opened again
      s.paused = false;
      return PLAYER_STATE_STOPPED;
    case PLAYER_CMD_PLAY:
      if (!s.attached) return std::nullopt;
      if (!s.open) s.openFormat = s.attachedFormat;
      s.open = true;
      s.paused = false;
      return PLAYER_STATE_PLAYING;
    case PLAYER_CMD_PAUSE:
      s.paused = s.open;
      return PLAYER_STATE_PAUSED;
    case PLAYER_CMD_STOP:
      s = {.output = s.output};
      return PLAYER_STATE_STOPPED;
    case PLAYER_CMD_DRAIN:
      if (!s.open) return std::nullopt;
      s.open = s.paused = false;
      return PLAYER_STATE_STOPPED;
    case PLAYER_CMD_SELECT_OUTPUT:
      if (command.message.first == s.output) return std::nullopt;
      s = {.attached = s.attached, .open = s.attached, .output = command.message.first,
           .openFormat = s.attachedFormat, .attachedFormat = s.attachedFormat};
      return std::nullopt;
    default:
      return std::nullopt;  // SEEK and SET_VOLUME post nothing; a seek's end shows as STOPPED
  }
}

// What the engine may post between commands: the stream's end, the output's end, progress.
bool happens_by_itself(State& s, const PlayerNotification& notification) {
  const bool running = s.attached && s.open;
  if (notification.number != PLAYER_NTF_STATE) return running;  // INFO and POSITION
  if (notification.first == PLAYER_STATE_NO_STREAM && running) {
    s.attached = false;
    return true;
  }
  if (notification.first != PLAYER_STATE_STOPPED || !s.open || s.attached) return false;
  s.open = s.paused = false;
  return true;
}

// One way a burst of commands may have gone so far: the state and the commands handled.
struct Story {
  State state;
  std::size_t handled = 0;
  bool operator==(const Story&) const = default;
};

void add(std::vector<Story>& stories, const Story& story) {
  if (std::ranges::find(stories, story) == stories.end()) stories.push_back(story);
}

// A command that posts nothing may have been handled at any moment.
void handle_silent_commands(std::vector<Story>& stories, const std::vector<Command>& burst) {
  for (std::size_t i = 0; i < stories.size(); ++i) {
    Story story = stories[i];
    if (story.handled < burst.size() && !apply(story.state, burst[story.handled])) {
      ++story.handled;
      add(stories, story);
    }
  }
}

TEST(EngineStress, RandomCommandsKeepTheEngineInTheStateTable) {
  constexpr unsigned kSeed = 20240607;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  TempPathHost host;
  const TempDir& dir = host.dir;
  write_file(dir.file("a.wav"), make_wav({}, ramp_bytes(640 * 1024)));
  write_file(dir.file("b.mp3"), make_mp3({.tone = {.seconds = 1.0}}));
  write_file(dir.file("c.wav"), make_wav({.channels = 1, .sampleRate = 8000, .bits = 8}, ramp_bytes(16000)));
  Bytes cutShort = make_wav({}, ramp_bytes(64));
  cutShort.resize(30);  // ends inside the format chunk
  write_file(dir.file("bad.wav"), cutShort);
  const std::pair<std::string, int> inputs[] = {{"a.wav", 0}, {"b.mp3", 0}, {"c.wav", 1}, {"bad.wav", -1}, {"none", -1}};
  const auto inputEntries = dir.entries();

  std::atomic<int> openDevices = 0;
  NotificationQueue notifications;
  selectedOutput = 0;
  auto player = player_create(
      notifications,
      [&] {
        EngineSlots slots = standard_engine_slots(host);
        // The card refuses 8-bit mono, so that an output without a device is played too.
        slots.outputs[0] = std::make_unique<SoundCardOutput>(
            SoundCardOutput::FailureHandler{},
            [&](const WaveFormat& format, WakeEvent& wake, std::optional<VolumeWord>) {
              if (format.bitsPerSample == 8) return DeviceOpening{nullptr, DeviceFailure::formatRefused};
              return DeviceOpening{std::make_unique<InstantDevice>(wake, openDevices)};
            });
        return slots;
      },
      [] { return nullptr; });

  std::mt19937 random(kSeed);
  const auto pick = [&](std::uint32_t below) { return std::uniform_int_distribution<std::uint32_t>(0, below - 1)(random); };
  const std::uint32_t kinds[] = {PLAYER_CMD_OPEN, PLAYER_CMD_OPEN,  PLAYER_CMD_PLAY,       PLAYER_CMD_PLAY,
                                 PLAYER_CMD_SEEK, PLAYER_CMD_PAUSE, PLAYER_CMD_STOP,       PLAYER_CMD_DRAIN,
                                 PLAYER_CMD_DRAIN, PLAYER_CMD_SET_VOLUME, PLAYER_CMD_SELECT_OUTPUT};
  std::vector<Story> stories{{}};
  for (std::uint32_t sent = 0, ping = 1; sent < 3000; ++ping) {
    // Paused, the card never finishes: DRAIN, or an OPEN that drains it, would wait forever.
    bool pausedMayHold = std::ranges::any_of(stories, [](const Story& s) { return s.state.paused; });
    std::vector<Command> burst;
    std::string heard = "sent";
    for (std::uint32_t count = 1 + pick(4); burst.size() < count;) {
      const std::uint32_t number = kinds[pick(std::size(kinds))];
      const bool onceABurst = number == PLAYER_CMD_OPEN || number == PLAYER_CMD_SEEK || number == PLAYER_CMD_SELECT_OUTPUT;
      // Only the newest queued OPEN or SEEK counts, and SELECT_OUTPUT reads the slot when it is
      // handled: one of each keeps the story certain.
      if ((onceABurst && std::ranges::any_of(burst, [&](const Command& c) { return c.message.number == number; })) ||
          (number == PLAYER_CMD_DRAIN && pausedMayHold)) {
        continue;
      }
      const auto& [name, format] = inputs[pausedMayHold ? 3 + pick(2) : pick(std::size(inputs))];
      const std::uint32_t value = number == PLAYER_CMD_SELECT_OUTPUT ? 2 * pick(2) : pick(101);
      if (number == PLAYER_CMD_SELECT_OUTPUT) selectedOutput = static_cast<std::int32_t>(value);
      burst.push_back({{number, value, 100, dir.file(name)}, format});
      player_post(*player, burst.back().message);
      pausedMayHold |= number == PLAYER_CMD_PAUSE;
      heard += " " + std::to_string(number & 0xF) + "(" + (number == PLAYER_CMD_OPEN ? name : std::to_string(value)) + ")";
    }
    sent += static_cast<std::uint32_t>(burst.size());
    player_post(*player, {.number = PLAYER_CMD_PING, .first = ping});

    heard += ", heard:";
    bool infoWaitsForPosition = false;
    for (PlayerNotification n = notifications.next(); n.number != PLAYER_NTF_PONG; n = notifications.next()) {
      heard += " " + describe(n) + ";";
      EXPECT_EQ(n.number == PLAYER_NTF_POSITION, infoWaitsForPosition) << heard;
      infoWaitsForPosition = n.number == PLAYER_NTF_INFO;
      handle_silent_commands(stories, burst);
      std::vector<Story> next;
      for (Story story : stories) {
        if (Story byItself = story; happens_by_itself(byItself.state, n)) add(next, byItself);
        if (n.number == PLAYER_NTF_STATE && story.handled < burst.size() &&
            apply(story.state, burst[story.handled]) == n.first) {
          ++story.handled;
          add(next, story);
        }
      }
      stories = std::move(next);
    }
    handle_silent_commands(stories, burst);
    std::erase_if(stories, [&](const Story& s) { return s.handled < burst.size(); });
    for (Story& story : stories) story.handled = 0;
    ASSERT_FALSE(stories.empty()) << "after command " << sent << " the table allows none of: " << heard;
    // The card has a device only while it is open for a format it plays; by now it may have
    // played to its end and closed.
    const auto cardOpen = [](const Story& s) { return s.state.open && s.state.output == 0 && s.state.openFormat == 0; };
    const int devices = openDevices;  // read once: a card playing its last blocks closes meanwhile
    if (std::ranges::none_of(stories, cardOpen)) {
      ASSERT_EQ(devices, 0) << heard;
    }
    ASSERT_LE(devices, 1);
  }
  player.reset();

  EXPECT_EQ(openDevices, 0);
  EXPECT_EQ(host.messages, std::vector<std::string>{});
  // Only whole decoded files are left, each with the sizes of what it holds.
  for (const auto& name : dir.entries()) {
    if (std::ranges::find(inputEntries, name) != inputEntries.end()) continue;
    ASSERT_TRUE(name.starts_with("out")) << name;
    const Bytes file = read_file(dir.file(name));
    ASSERT_GE(file.size(), 46u);
    EXPECT_EQ(le32(file, 4), file.size() - 8);
    EXPECT_EQ(le32(file, 42), file.size() - 46);
  }
}

}  // namespace
}  // namespace tunekiln::test
