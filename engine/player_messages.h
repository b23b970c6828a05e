#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/stream_info.h"

namespace tunekiln {

// Commands to the engine thread.
inline constexpr std::uint32_t PLAYER_CMD_QUIT = 0x8001;
inline constexpr std::uint32_t PLAYER_CMD_OPEN = 0x8002;
inline constexpr std::uint32_t PLAYER_CMD_SEEK = 0x8003;
inline constexpr std::uint32_t PLAYER_CMD_PLAY = 0x8004;
inline constexpr std::uint32_t PLAYER_CMD_STOP = 0x8005;
inline constexpr std::uint32_t PLAYER_CMD_PAUSE = 0x8006;
inline constexpr std::uint32_t PLAYER_CMD_PING = 0x8009;
inline constexpr std::uint32_t PLAYER_CMD_DRAIN = 0x800A;
inline constexpr std::uint32_t PLAYER_CMD_LIST_OUTPUTS = 0x800B;
inline constexpr std::uint32_t PLAYER_CMD_SELECT_OUTPUT = 0x800D;
inline constexpr std::uint32_t PLAYER_CMD_SET_VOLUME = 0x800F;
// Posted by a decoder when its length became exact after open; answered with INFO.
inline constexpr std::uint32_t PLAYER_CMD_LENGTH_KNOWN = 0x8010;

// Notifications from the engine thread.
inline constexpr std::uint32_t PLAYER_NTF_STATE = 0x8101;
inline constexpr std::uint32_t PLAYER_NTF_INFO = 0x8102;
inline constexpr std::uint32_t PLAYER_NTF_POSITION = 0x8103;
inline constexpr std::uint32_t PLAYER_NTF_PONG = 0x8105;
inline constexpr std::uint32_t PLAYER_NTF_OUTPUT_NAME = 0x8106;
// The failures, each posted once when it happens, for the receiver to show in its own words.
// The input could not be read: the stream ended short of its end (NO_STREAM follows) and a
// file being written was given up.
inline constexpr std::uint32_t PLAYER_NTF_READ_FAILED = 0x8107;
// The WAV file could not be written in full: it was given up, the destination left as it was,
// and the decoding ends (NO_STREAM follows). first: errno of the call that failed, 0 when the
// file was refused for its size.
inline constexpr std::uint32_t PLAYER_NTF_WRITE_FAILED = 0x8108;
// The sound card found no sound server to play through: it plays nothing, and the stream waits
// in silence until a STOP.
inline constexpr std::uint32_t PLAYER_NTF_NO_SOUND_SERVER = 0x8109;
// The sound server would not play the stream's format; as for NO_SOUND_SERVER.
inline constexpr std::uint32_t PLAYER_NTF_FORMAT_REFUSED = 0x810A;
// The sound server went away while the sound card played through it; as for NO_SOUND_SERVER.
inline constexpr std::uint32_t PLAYER_NTF_SOUND_SERVER_GONE = 0x810B;

// The first parameter of PLAYER_NTF_STATE.
inline constexpr std::uint32_t PLAYER_STATE_NO_STREAM = 1;  // a file did not open, or the stream ended
inline constexpr std::uint32_t PLAYER_STATE_PAUSED = 2;
inline constexpr std::uint32_t PLAYER_STATE_PLAYING = 3;
inline constexpr std::uint32_t PLAYER_STATE_STOPPED = 4;  // the output was closed, or a STOP was handled

struct PlayerCommand {
  std::uint32_t number = 0;
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  std::optional<std::string> name;  // OPEN: the file name; nothing for a null name
};

struct PlayerNotification {
  std::uint32_t number = 0;
  std::uint32_t first = 0;   // STATE: the state; POSITION: whole seconds; PONG: the PING's value
  // OUTPUT_NAME: the slot index; POSITION: milliseconds of sound the output holds that have
  // not been heard yet.
  std::uint32_t second = 0;
  std::optional<StreamInfo> info;   // INFO
  // OUTPUT_NAME: the output's name, nothing for an empty slot; STATE for a file no decoder
  // took, and READ_FAILED: why, empty when the decoder could not tell.
  std::optional<std::string> name;
};

// Whole seconds of a POSITION that have been heard: the position handed to the output less
// what the output still holds.
inline std::uint32_t heard_seconds(const PlayerNotification& position) {
  const std::uint64_t handed = std::uint64_t{position.first} * 1000;
  return handed > position.second ? static_cast<std::uint32_t>((handed - position.second) / 1000) : 0;
}

}  // namespace tunekiln
