#include "cli/play_command.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/keyboard.h"
#include "cli/engine_session.h"
#include "cli/file_runs.h"
#include "cli/reporting.h"
#include "cli/process_setup.h"
#include "cli/terminal_status.h"
#include "engine/player.h"
#include "engine/standard_slots.h"

namespace tunekiln {
namespace {

constexpr std::int32_t kSoundCardSlot = 0;

// The keys of a terminal, turned into commands: press runs on the keyboard's thread.
class KeyCommands {
 public:
  explicit KeyCommands(Player& player) : player_(player) {}

  // From the thread that reads the notifications: where the stream stands.
  void heardPosition(std::uint32_t seconds, std::uint32_t length) {
    if (length == 0) return;
    perMille_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{seconds} * 1000 / length, 1000));
  }

  void press(PlayKey key) {
    switch (key) {
      case PlayKey::pauseOrResume:
        paused_ = !paused_;
        if (paused_) {
          player_pause(player_);
        } else {
          player_play(player_);
        }
        break;
      case PlayKey::back:
      case PlayKey::forward:
        perMille_ = seek_target(perMille_, key);
        player_seek(player_, perMille_, 1000);
        // A seek resumes a paused sound card; PLAY says so.
        if (paused_) player_play(player_);
        paused_ = false;
        break;
      case PlayKey::interrupt:
        interrupted_ = true;
        player_stop(player_);
        break;
      case PlayKey::quit:
        player_stop(player_);
        break;
    }
  }

  // Ctrl-C was typed: the command ends as by SIGINT once the terminal is back.
  bool interrupted() const { return interrupted_; }

 private:
  Player& player_;
  std::atomic<std::uint32_t> perMille_{0};
  std::atomic<bool> interrupted_{false};
  bool paused_ = false;  // the keyboard's thread's own
};

int play(const std::string& file) {
  if (const auto problem = input_problem(file); !problem.empty()) {
    return report_failure(kOpenInputError, FileFault{file, problem});
  }

  TerminalStatusLine statusLine;
  std::optional<PlayerNotification> failure;
  bool interrupted = false;
  {
    EngineSession session([] {
      EngineSlots slots{.decoders = standard_decoders()};
      slots.outputs[kSoundCardSlot] = std::make_unique<SoundCardOutput>();
      return slots;
    });
    if (const auto refusal = session.open(file)) return fail_unrecognized(*refusal, file);

    KeyCommands commands(session.player());
    const Keyboard keyboard([&commands](PlayKey key) { commands.press(key); });
    std::uint32_t position = 0;
    bool paused = false;
    failure = session.run(kSoundCardSlot, [&](const PlayerNotification& notification) {
      if (notification.number == PLAYER_NTF_POSITION) {
        position = heard_seconds(notification);  // what has been heard, so that a seek is relative to it
        commands.heardPosition(position, totalSeconds);
      } else if (notification.number == PLAYER_NTF_STATE) {
        if (notification.first == PLAYER_STATE_PAUSED) paused = true;
        if (notification.first == PLAYER_STATE_PLAYING) paused = false;
      } else {
        return;
      }
      statusLine.show(clock_text(position) + " / " + clock_text(totalSeconds) + (paused ? "  paused" : ""));
    });
    interrupted = commands.interrupted();
  }  // the engine thread has ended and the terminal is back in its mode
  statusLine.clear();
  if (interrupted) end_by_signal(SIGINT);
  return report_engine_failure(failure, file, file);
}

}  // namespace

void add_play_command(CLI::App& app, int& status) {
  auto file = std::make_shared<std::string>();
  auto* command = app.add_subcommand(
      "play", "Play an MP3 or WAV file on the sound card; on a terminal, space pauses and resumes, the left and right "
              "arrow keys seek 5 % back and forward, q stops");
  command->add_option("FILE", *file, "MP3 or WAV file to play")->required();
  command->callback([&status, file] { status = play(*file); });
}

}  // namespace tunekiln
