#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/notification_sink.h"
#include "engine/player.h"

// What the commands that drive the playback engine (decode, play) share.
namespace tunekiln {

inline constexpr std::string_view kOpenInputError = "Open the input file error!";

// "1:02:05" for the status line.
std::string clock_text(std::uint32_t seconds);

// The refusal of a file that no decoder takes: "can not recongnize this file format!" and, when
// the engine could tell why (`refusal`), a second line "NAME: reason". Gives 1.
int fail_unrecognized(const std::string& refusal, const std::string& shownName);

// One run of the engine for a command: the engine thread lives as long as the session. The
// command line has no volume buttons, so the engine gets no mixer.
class EngineSession {
 public:
  explicit EngineSession(EngineSlotsFactory makeSlots);

  Player& player() { return *player_; }
  // Opens the file and waits until the engine has answered: why no decoder took it (empty
  // when none could tell), nothing when one did.
  std::optional<std::string> open(const std::string& file);
  // Plays the opened file to the output in `outputSlot` and hands every notification to
  // `notice` until the engine reports STOPPED; keeps the stream's length in totalSeconds.
  // A failure of the sound card stops the engine, which would otherwise wait in silence.
  // Gives the failure to report, if any.
  std::optional<PlayerNotification> run(std::int32_t outputSlot,
                                        const std::function<void(const PlayerNotification&)>& notice);

 private:
  NotificationQueue notifications_;
  std::unique_ptr<Player> player_;
};

// The failure `run` gave on standard error, and the exit status: 0 without one. A failed read
// names `inputName`, a failed write `outputName`, with the reason.
int report_engine_failure(const std::optional<PlayerNotification>& failure, const std::string& inputName,
                          const std::string& outputName);

}  // namespace tunekiln
