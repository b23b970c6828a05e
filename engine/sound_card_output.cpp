#include "engine/sound_card_output.h"

#include <algorithm>

namespace tunekiln {
namespace {

WaveFormat wave_format(const StreamInfo& info) {
  return {.channels = info.stereo == 1 ? 2 : 1,
          .sampleRate = info.sampleRate,
          .bitsPerSample = info.sixteenBit == 1 ? 16 : 8};
}

std::uint32_t failure_notification(DeviceFailure failure) {
  switch (failure) {
    case DeviceFailure::noServer:
      return PLAYER_NTF_NO_SOUND_SERVER;
    case DeviceFailure::formatRefused:
      return PLAYER_NTF_FORMAT_REFUSED;
    case DeviceFailure::serverGone:
      return PLAYER_NTF_SOUND_SERVER_GONE;
  }
  return PLAYER_NTF_NO_SOUND_SERVER;
}

}  // namespace

SoundCardOutput::SoundCardOutput(DeviceOpener openDevice)
    : Output("Marble Wave mapper"), openDevice_(std::move(openDevice)) {}

SoundCardOutput::DeviceOpener SoundCardOutput::default_device_opener() {
  return [](const WaveFormat& format, WakeEvent& wake, std::optional<VolumeWord> volume) {
    return open_wave_out(format, wake, volume);
  };
}

VolumeWord SoundCardOutput::volume_word(std::uint32_t level) {
  const auto channel = static_cast<VolumeWord>(std::min<std::uint64_t>(std::uint64_t{level} * 656, 0xFFFF));
  return channel | channel << 16;
}

void SoundCardOutput::open(const StreamInfo& info) {
  createWakeEvent();
  DeviceOpening opening = openDevice_(wave_format(info), *wakeEvent(), volume_);
  device_ = std::move(opening.device);
  if (!device_) reportFailure(failure_notification(opening.failure));
  // Left uninitialised: every byte is written by the decoder before it is played.
  region_.reset(new std::uint8_t[kBlockCount * kBlockBytes]);
  for (std::size_t i = 0; i < kBlockCount; ++i) {
    blocks_[i].data = region_.get() + i * kBlockBytes;
    blocks_[i].length = kBlockBytes;
    blocks_[i].queued.store(false);
  }
  raisedPriority_.emplace();
}

void SoundCardOutput::close() {
  raisedPriority_.reset();
  if (device_) {
    device_->restart();
    device_->reset();
    device_.reset();
  }
  region_.reset();
  releaseWakeEvent();
}

void SoundCardOutput::pump() {
  WaveOutDevice* const card = device();
  if (card == nullptr) return;
  for (WaveBlock& block : blocks_) {
    if (block.queued.load()) continue;
    std::size_t size = kBlockBytes;
    const ReadResult result = attachedDecoder()->read(block.data, size);
    block.length = size;
    if (size > 0) card->write(block);
    if (result != ReadResult::more) {
      closeAndDetachDecoder(result);  // what is queued plays on
      return;
    }
  }
}

void SoundCardOutput::pause(bool paused) {
  WaveOutDevice* const card = device();
  if (card == nullptr) return;
  if (paused) {
    card->pause();
  } else {
    card->restart();
  }
}

bool SoundCardOutput::isDone() {
  WaveOutDevice* const card = device();
  const auto queued = [](const WaveBlock& block) { return block.queued.load(); };
  return card == nullptr || std::none_of(blocks_.begin(), blocks_.end(), queued);
}

void SoundCardOutput::reset() {
  WaveOutDevice* const card = device();
  if (card == nullptr) return;
  card->restart();
  card->reset();
}

void SoundCardOutput::setVolume(int level) {
  WaveOutDevice* const card = device();
  if (card == nullptr) return;
  volume_ = volume_word(static_cast<std::uint32_t>(level));
  card->setVolume(*volume_);
}

std::uint32_t SoundCardOutput::unheardMilliseconds() {
  WaveOutDevice* const card = device();
  if (card == nullptr) return 0;
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(card->unheard()).count());
}

WaveOutDevice* SoundCardOutput::device() {
  if (device_ && device_->gone()) {
    device_.reset();
    reportFailure(PLAYER_NTF_SOUND_SERVER_GONE);
  }
  return device_.get();
}

}  // namespace tunekiln
