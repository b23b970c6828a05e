#include "engine/player_engine.h"

#include <algorithm>
#include <chrono>

namespace tunekiln {
namespace {

// The longest the engine sleeps on an open output's wake event before it looks again.
constexpr std::chrono::milliseconds kWakeWaitLimit{1000};

}  // namespace

DecoderChoice choose_decoder(DecoderSlots& decoders, const std::optional<std::string>& name) {
  if (!name) return {};
  // Decoders that need no file (test doubles) are offered a name that did not open, too.
  const OpenedFile file = open_audio_file(*name);
  DecoderChoice choice;
  for (std::size_t slot = 0; slot < decoders.size(); ++slot) {
    if (!decoders[slot]) continue;
    if (decoders[slot]->open(file)) return {slot, {}};
    if (choice.refusal.empty()) choice.refusal = decoders[slot]->refusal();
  }
  if (choice.refusal.empty()) choice.refusal = unplayable_reason(file.identity);
  return choice;
}

PlayerEngine::PlayerEngine(Player& player, EngineSlots slots)
    : player_(player),
      slots_(std::move(slots)),
      // A value that names no slot is taken as the nearest one.
      outputIndex_(static_cast<std::size_t>(std::clamp(selectedOutput.load(), 0, static_cast<std::int32_t>(kSlotCount) - 1))),
      current_(slots_.outputs[outputIndex_].get()) {
  for (const auto& decoder : slots_.decoders) {
    if (decoder) decoder->setLengthListener([this] { player_.commands.post({.number = PLAYER_CMD_LENGTH_KNOWN}); });
  }
  for (const auto& output : slots_.outputs) {
    if (output) output->reportTo(player_.window);
  }
}

void PlayerEngine::run() {
  for (;;) {
    pumpNow_ = false;
    while (auto command = player_.commands.take()) handle(*command);
    if (quitting_) break;
    if (!outputOpen_) {
      player_.commands.waitForMessage();
      continue;
    }
    WakeEvent* wake = current_->wakeEvent();
    if (!pumpNow_ && wake != nullptr &&
        player_.commands.waitForMessageOr(*wake, kWakeWaitLimit) != WaitResult::wakeEvent) {
      continue;
    }
    pumpStep();
  }
  shutdown();
}

void PlayerEngine::handle(const PlayerCommand& command) {
  switch (command.number) {
    case PLAYER_CMD_QUIT:
      quitting_ = true;  // what is queued behind it is still handled
      break;
    case PLAYER_CMD_OPEN:
      onOpen(command);
      break;
    case PLAYER_CMD_SEEK:
      onSeek(command);
      break;
    case PLAYER_CMD_PLAY:
      onPlay();
      break;
    case PLAYER_CMD_STOP:
      onStop();
      break;
    case PLAYER_CMD_PAUSE:
      onPause();
      break;
    case PLAYER_CMD_PING:
      post({.number = PLAYER_NTF_PONG, .first = command.first});
      break;
    case PLAYER_CMD_DRAIN:
      drain_and_close();
      break;
    case PLAYER_CMD_LIST_OUTPUTS:
      onListOutputs();
      break;
    case PLAYER_CMD_SELECT_OUTPUT:
      onSelectOutput();
      break;
    case PLAYER_CMD_SET_VOLUME:
      onSetVolume(command.first);
      break;
    case PLAYER_CMD_LENGTH_KNOWN:
      if (Decoder* decoder = attachedDecoder()) post({.number = PLAYER_NTF_INFO, .info = decoder->getInfo()});
      break;
    default:
      break;  // the other numbers have no effect
  }
}

void PlayerEngine::onOpen(const PlayerCommand& command) {
  if (player_.commands.waiting(PLAYER_CMD_OPEN)) return;  // only the newest OPEN counts
  if (Decoder* previous = attachedDecoder()) {
    previous->close();
    attach(nullptr);
  }
  const DecoderChoice choice = choose_decoder(slots_.decoders, command.name);
  Decoder* chosen = choice.slot ? slots_.decoders[*choice.slot].get() : nullptr;
  if (chosen == nullptr) {
    post({.number = PLAYER_NTF_STATE, .first = PLAYER_STATE_NO_STREAM, .name = choice.refusal});
  } else if (outputOpen_ && format_of(chosen->getInfo()) != openFormat_) {
    drain_and_close();
    start_output(*chosen);
    pumpNow_ = true;
  }
  attach(chosen);
}

void PlayerEngine::onSeek(const PlayerCommand& command) {
  if (!outputOpen_ || player_.commands.waiting(PLAYER_CMD_SEEK)) return;  // only the newest SEEK counts
  if (Decoder* decoder = attachedDecoder()) decoder->seek(command.first, command.second);
  current_->reset();
  pumpNow_ = true;
}

void PlayerEngine::onPlay() {
  Decoder* decoder = attachedDecoder();
  if (decoder == nullptr || current_ == nullptr) return;  // nothing to play, or nowhere to play it
  if (!outputOpen_) {
    start_output(*decoder);
    pumpNow_ = true;
  }
  current_->pause(false);
  postState(PLAYER_STATE_PLAYING);
  lastPosition_ = -1;
  post_status();
}

void PlayerEngine::onStop() {
  closeDecoderAndOutput();
  postState(PLAYER_STATE_STOPPED);
}

void PlayerEngine::closeDecoderAndOutput() {
  if (Decoder* decoder = attachedDecoder()) {
    decoder->close();
    attach(nullptr);
  }
  if (outputOpen_) {
    outputOpen_ = false;
    current_->close();
  }
}

void PlayerEngine::onPause() {
  if (outputOpen_) current_->pause(true);
  postState(PLAYER_STATE_PAUSED);
}

void PlayerEngine::onListOutputs() {
  for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
    const Output* output = slots_.outputs[slot].get();
    post({.number = PLAYER_NTF_OUTPUT_NAME,
          .second = static_cast<std::uint32_t>(slot),
          .name = output ? std::optional<std::string>(output->name()) : std::nullopt});
  }
}

void PlayerEngine::onSelectOutput() {
  const std::int32_t index = selectedOutput.load();
  if (index < 0 || static_cast<std::size_t>(index) >= kSlotCount) return;  // names no slot
  if (static_cast<std::size_t>(index) == outputIndex_) return;             // already current
  if (outputOpen_) {
    current_->close();
    outputOpen_ = false;
  }
  // The decoder moves on at its present position; the previous output keeps no pointer to it.
  Decoder* decoder = attachedDecoder();
  attach(nullptr);
  outputIndex_ = static_cast<std::size_t>(index);
  current_ = slots_.outputs[outputIndex_].get();
  attach(decoder);
  if (decoder != nullptr && current_ != nullptr) {
    start_output(*decoder);
    pumpNow_ = true;
  }
}

void PlayerEngine::onSetVolume(std::uint32_t level) {
  volume_ = level;
  if (outputOpen_) current_->setVolume(static_cast<int>(level));
}

void PlayerEngine::pumpStep() {
  if (attachedDecoder() != nullptr) {
    current_->pump();
    if (attachedDecoder() != nullptr) {
      post_status();
      return;
    }
    postState(PLAYER_STATE_NO_STREAM);
    // The last read may have crossed a whole second that no position has told yet.
    if (lastPosition_ >= 0 && current_->endPosition() != lastPosition_) {
      lastPosition_ = current_->endPosition();
      postPosition();
    }
  }
  // Asked at once at the stream's end too: an output that holds nothing then (a stream without
  // samples) has nothing left to finish, so nothing would wake the engine to close it.
  if (current_->isDone()) {
    post_heard_position();  // the last second
    outputOpen_ = false;
    current_->close();
    postState(PLAYER_STATE_STOPPED);
  } else {
    post_heard_position();  // the end of the stream is still on its way to the speaker
  }
}

void PlayerEngine::shutdown() {
  closeDecoderAndOutput();
  slots_ = {};  // the decoders and outputs release their state here, on the engine thread
}

void PlayerEngine::post_status() {
  Decoder* decoder = attachedDecoder();
  const std::int32_t position = outputOpen_ ? decoder->getPosition() : 0;
  if (position == lastPosition_) return;
  lastPosition_ = position;
  lastInfo_ = decoder->getInfo();
  postPosition();
}

void PlayerEngine::post_heard_position() {
  if (lastPosition_ < 0) return;
  const PlayerNotification position{.number = PLAYER_NTF_POSITION, .first = static_cast<std::uint32_t>(lastPosition_),
                                    .second = current_->unheardMilliseconds()};
  if (heard_seconds(position) != lastHeard_) postPosition();
}

void PlayerEngine::postPosition() {
  const PlayerNotification position{.number = PLAYER_NTF_POSITION, .first = static_cast<std::uint32_t>(lastPosition_),
                                    .second = outputOpen_ ? current_->unheardMilliseconds() : 0};
  lastHeard_ = heard_seconds(position);
  post({.number = PLAYER_NTF_INFO, .info = lastInfo_});
  post(position);
}

void PlayerEngine::start_output(Decoder& decoder) {
  const StreamInfo info = decoder.getInfo();
  openFormat_ = format_of(info);
  outputOpen_ = true;
  current_->open(info);
  if (volume_ == 0) current_->setVolume(0);  // a non-zero level is not applied at open
}

void PlayerEngine::drain_and_close() {
  if (!outputOpen_) return;
  while (!current_->isDone()) {
    if (WakeEvent* wake = current_->wakeEvent()) wake->waitFor(kWakeWaitLimit);
    if (attachedDecoder() != nullptr) post_status();
  }
  outputOpen_ = false;
  current_->close();
  postState(PLAYER_STATE_STOPPED);
}

Decoder* PlayerEngine::attachedDecoder() const {
  return current_ != nullptr ? current_->attachedDecoder() : decoderWithoutOutput_;
}

void PlayerEngine::attach(Decoder* decoder) {
  if (current_ != nullptr) {
    current_->attach(decoder);
  } else {
    decoderWithoutOutput_ = decoder;
  }
}

void PlayerEngine::postState(std::uint32_t state) { post({.number = PLAYER_NTF_STATE, .first = state}); }

}  // namespace tunekiln
