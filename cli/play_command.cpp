#include "cli/play_command.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cli/keyboard.h"
#include "cli/engine_session.h"
#include "cli/file_runs.h"
#include "cli/reporting.h"
#include "cli/process_setup.h"
#include "cli/terminal_status.h"
#include "engine/engine_texts.h"
#include "engine/player.h"
#include "engine/standard_slots.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

constexpr std::string_view kNoSoundServer = "No sound server can be reached!";
constexpr std::string_view kFormatRefused = "The sound server cannot play this file's format!";
constexpr std::string_view kServerGone = "The sound server has gone away!";



// Hears on the engine thread why the sound card has no device, keeps the first reason for the
// end and stops the playing, which would otherwise wait in silence.
class SoundCardWatch {
 public:
  // Set before the first PLAY is posted, so the engine sees it whenever it reports.
  void watch(Player& player) { player_ = &player; }

  void failed(DeviceFailure failure) {
    {
      std::lock_guard lock(mutex_);
      if (!failure_) failure_ = failure;
    }
    player_stop(*player_);
  }

  std::optional<DeviceFailure> failure() {
    std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  Player* player_ = nullptr;
  std::mutex mutex_;
  std::optional<DeviceFailure> failure_;
};

std::string_view failure_text(DeviceFailure failure) {
  switch (failure) {
    case DeviceFailure::noServer:
      return kNoSoundServer;
    case DeviceFailure::formatRefused:
      return kFormatRefused;
    case DeviceFailure::serverGone:
      return kServerGone;
  }
  return kNoSoundServer;
}


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

  NotificationQueue notifications;
  SoundCardWatch watch;
  TerminalStatusLine statusLine;
  bool readFailed = false;
  bool interrupted = false;
  {
    // The command line has no volume buttons, so it needs no mixer.
    const auto player = player_create(
        notifications,
        [&watch] {
          EngineSlots slots{.decoders = standard_decoders()};
          slots.outputs[0] =
              std::make_unique<SoundCardOutput>([&watch](DeviceFailure failure) { watch.failed(failure); });
          return slots;
        },
        [] { return std::unique_ptr<MasterVolume>(); });
    watch.watch(*player);
    player_open(*player, file);
    player_post(*player, {.number = PLAYER_CMD_PING});
    if (refused_before_pong(notifications)) return fail_unrecognized(file, file);

    selectedOutput = 0;  // the sound card
    player_select_output(*player);
    player_play(*player);
    KeyCommands commands(*player);
    const Keyboard keyboard([&commands](PlayKey key) { commands.press(key); });
    std::uint32_t position = 0;
    bool paused = false;
    for (;;) {
      const auto notification = notifications.next();
      if (notification.number == PLAYER_NTF_INFO) {
        store_stream_info(*notification.info);
        continue;
      }
      if (notification.number == PLAYER_NTF_READ_FAILED) {
        readFailed = true;  // what the card holds plays out, then the engine stops
        continue;
      }
      if (notification.number == PLAYER_NTF_POSITION) {
        position = heard_seconds(notification);  // what has been heard, so that a seek is relative to it
        commands.heardPosition(position, totalSeconds);
      } else if (notification.number == PLAYER_NTF_STATE) {
        if (notification.first == PLAYER_STATE_STOPPED) break;
        if (notification.first == PLAYER_STATE_PAUSED) paused = true;
        if (notification.first == PLAYER_STATE_PLAYING) paused = false;
      } else {
        continue;
      }
      statusLine.show(clock_text(position) + " / " + clock_text(totalSeconds) + (paused ? "  paused" : ""));
    }
    interrupted = commands.interrupted();
  }  // the engine thread has ended and the terminal is back in its mode
  statusLine.clear();
  if (interrupted) end_by_signal(SIGINT);
  if (const auto failure = watch.failure()) return report_failure(failure_text(*failure));
  if (readFailed) return report_failure(engine_texts::kWavReadError);
  return 0;
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
