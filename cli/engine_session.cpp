#include "cli/engine_session.h"

#include <cstdio>
#include <optional>

#include "cli/reporting.h"
#include "engine/engine_texts.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

constexpr std::string_view kNoSoundServer = "No sound server can be reached!";
constexpr std::string_view kFormatRefused = "The sound server cannot play this file's format!";
constexpr std::string_view kServerGone = "The sound server has gone away!";

}  // namespace

std::string clock_text(std::uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

int fail_unrecognized(const std::string& refusal, const std::string& shownName) {
  if (refusal.empty()) return report_failure(wav_texts::kUnrecognized);
  return report_failure(wav_texts::kUnrecognized, FileFault{shownName, refusal});
}

EngineSession::EngineSession(EngineSlotsFactory makeSlots)
    : player_(player_create(notifications_, std::move(makeSlots), [] { return std::unique_ptr<MasterVolume>(); })) {}

std::optional<std::string> EngineSession::open(const std::string& file) {
  player_open(*player_, file);
  player_post(*player_, {.number = PLAYER_CMD_PING});
  std::optional<std::string> refusal;
  for (;;) {
    const auto notification = notifications_.next();
    if (notification.number == PLAYER_NTF_PONG) return refusal;
    if (notification.number == PLAYER_NTF_STATE && notification.first == PLAYER_STATE_NO_STREAM) {
      refusal = notification.name.value_or("");
    }
  }
}

std::optional<PlayerNotification> EngineSession::run(std::int32_t outputSlot,
                                                     const std::function<void(const PlayerNotification&)>& notice) {
  selectedOutput = outputSlot;
  player_select_output(*player_);
  player_play(*player_);
  std::optional<PlayerNotification> failure;
  for (;;) {
    const auto notification = notifications_.next();
    switch (notification.number) {
      case PLAYER_NTF_INFO:
        store_stream_info(*notification.info);
        break;
      case PLAYER_NTF_NO_SOUND_SERVER:
      case PLAYER_NTF_FORMAT_REFUSED:
      case PLAYER_NTF_SOUND_SERVER_GONE:
        player_stop(*player_);
        [[fallthrough]];
      case PLAYER_NTF_WRITE_FAILED:
        // The first failure of the output is the one to report; a failed read gives way to it.
        if (!failure || failure->number == PLAYER_NTF_READ_FAILED) failure = notification;
        break;
      case PLAYER_NTF_READ_FAILED:
        if (!failure) failure = notification;  // what the output holds plays out, then the engine stops
        break;
      case PLAYER_NTF_STATE:
        if (notification.first == PLAYER_STATE_STOPPED) return failure;
        break;
      default:
        break;
    }
    notice(notification);
  }
}

int report_engine_failure(const std::optional<PlayerNotification>& failure, const std::string& inputName,
                          const std::string& outputName) {
  if (!failure) return 0;
  switch (failure->number) {
    case PLAYER_NTF_READ_FAILED:
      if (failure->name && !failure->name->empty()) {
        return report_failure(engine_texts::kWavReadError, FileFault{inputName, *failure->name});
      }
      return report_failure(engine_texts::kWavReadError);
    case PLAYER_NTF_WRITE_FAILED:
      return report_failure(engine_texts::kWavWriteError, errno_fault(outputName, static_cast<int>(failure->first)));
    case PLAYER_NTF_FORMAT_REFUSED:
      return report_failure(kFormatRefused);
    case PLAYER_NTF_SOUND_SERVER_GONE:
      return report_failure(kServerGone);
    default:
      return report_failure(kNoSoundServer);  // PLAYER_NTF_NO_SOUND_SERVER
  }
}

}  // namespace tunekiln
