#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/player.h"

namespace tunekiln {

struct DecoderChoice {
  std::optional<std::size_t> slot;  // nothing when no decoder took the file
  std::string refusal;              // then why, for a reason line, when it can be told
};

// The first decoder, in slot order, that opens the named file; the file is opened and
// identified once for all of them (a null name opens nothing).
DecoderChoice choose_decoder(DecoderSlots& decoders, const std::optional<std::string>& name);

// The engine thread's state and its command loop: it pumps the attached decoder's PCM into the
// current output and reports to the player's window.
class PlayerEngine {
 public:
  PlayerEngine(Player& player, EngineSlots slots);
  PlayerEngine(const PlayerEngine&) = delete;
  PlayerEngine& operator=(const PlayerEngine&) = delete;

  // Handles commands and pumps until QUIT, then closes everything.
  void run();

 private:
  struct Format {
    std::int32_t sampleRate;
    std::int32_t stereo;
    std::int32_t sixteenBit;
    bool operator==(const Format&) const = default;
  };
  static Format format_of(const StreamInfo& info) { return {info.sampleRate, info.stereo, info.sixteenBit}; }

  void handle(const PlayerCommand& command);
  void onOpen(const PlayerCommand& command);
  void onSeek(const PlayerCommand& command);
  void onPlay();
  void onStop();
  void onPause();
  void onListOutputs();
  void onSelectOutput();
  void onSetVolume(std::uint32_t level);

  void pumpStep();
  void shutdown();
  // Closes and detaches the decoder and closes the output, telling no one.
  void closeDecoderAndOutput();
  // INFO and POSITION, when the position handed to the output has changed.
  void post_status();
  // INFO and POSITION, when the output still holds sound of a stream that has ended and another
  // second of it has been heard.
  void post_heard_position();
  void postPosition();
  void start_output(Decoder& decoder);
  void drain_and_close();

  Decoder* attachedDecoder() const;
  void attach(Decoder* decoder);
  void postState(std::uint32_t state);
  void post(PlayerNotification notification) { player_.window.post(std::move(notification)); }

  Player& player_;
  EngineSlots slots_;
  std::size_t outputIndex_;
  Output* current_;  // nothing while the current slot is empty
  // The attached decoder while the current slot is empty, so that selecting an output
  // afterwards still finds the opened file.
  Decoder* decoderWithoutOutput_ = nullptr;
  bool outputOpen_ = false;
  std::uint32_t volume_ = 100;
  std::int32_t lastPosition_ = -1;
  std::uint32_t lastHeard_ = 0;  // whole seconds of the last POSITION that had been heard
  StreamInfo lastInfo_;          // of the last INFO
  Format openFormat_{};
  bool pumpNow_ = false;
  bool quitting_ = false;
};

}  // namespace tunekiln
