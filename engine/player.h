#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "engine/decoder.h"
#include "engine/notification_sink.h"
#include "engine/output.h"
#include "engine/player_messages.h"
#include "platform/master_volume.h"
#include "platform/message_queue.h"

namespace tunekiln {

inline constexpr std::size_t kSlotCount = 3;
// The decoders have a fourth slot, for the formats read through libsndfile.
inline constexpr std::size_t kDecoderSlotCount = 4;
using DecoderSlots = std::array<std::unique_ptr<Decoder>, kDecoderSlotCount>;
using OutputSlots = std::array<std::unique_ptr<Output>, kSlotCount>;

// The decoders and outputs an engine works with, by slot number; an empty slot holds nothing.
struct EngineSlots {
  DecoderSlots decoders;
  OutputSlots outputs;
};

// Builds the slots on the engine thread when it starts.
using EngineSlotsFactory = std::function<EngineSlots()>;

// The output slot the engine switches to on PLAYER_CMD_SELECT_OUTPUT: 0 the sound card, 2 the
// WAV file writer. The sender writes it just before posting that command.
extern std::atomic<std::int32_t> selectedOutput;

// The length of the current stream in whole seconds, as the receiver of the notifications
// last heard it. Kept by store_stream_info on the receiver's thread only.
extern std::uint32_t totalSeconds;

// The record the sender holds: the engine thread and its queue, and the master volume behind
// the volume buttons. Destroying it ends the thread (QUIT after whatever is queued) and waits
// for it.
struct Player {
  explicit Player(NotificationSink& notifications) : window(notifications) {}
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  ~Player();

  NotificationSink& window;  // receives every notification
  MessageQueue<PlayerCommand> commands;
  std::thread thread;
  std::unique_ptr<MasterVolume> mixer;  // nothing without a system mixer
  // The volume buttons' level while there is no mixer; it goes to the engine through SET_VOLUME.
  std::uint32_t fallbackLevel = 100;
};

// Starts the engine thread and sets up the mixer (mixer_setup with `openMixer`). The queue
// exists before the thread does, so no command posted from now on is lost.
std::unique_ptr<Player> player_create(NotificationSink& window, EngineSlotsFactory makeSlots,
                                      const MasterVolumeOpener& openMixer = [] { return open_master_volume(); });

// The engine opens the file with the first decoder that accepts it; nothing is a null name.
void player_open(Player& player, std::optional<std::string> name);
void player_seek(Player& player, std::uint32_t numerator, std::uint32_t denominator);
void player_play(Player& player);
void player_stop(Player& player);
void player_pause(Player& player);
// Switches to the slot in selectedOutput.
void player_select_output(Player& player);
void player_set_volume(Player& player, std::uint32_t level);
// Any other command (QUIT, PING, DRAIN, LIST_OUTPUTS).
void player_post(Player& player, PlayerCommand command);

// For the receiver of PLAYER_NTF_INFO: keeps the stream's length in totalSeconds.
void store_stream_info(const StreamInfo& info);

}  // namespace tunekiln
