#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "engine/output.h"
#include "platform/thread_priority.h"
#include "platform/wave_out_device.h"

namespace tunekiln {

// The output that plays the stream on the sound card, "Marble Wave mapper": a pool of 16
// blocks of 32768 bytes that the device plays in the order they were queued and hands back one
// by one. Each block it finishes with signals the wake event, and the engine's pump refills
// every finished block and queues it again.
class SoundCardOutput final : public Output {
 public:
  static constexpr std::size_t kBlockCount = 16;
  static constexpr std::size_t kBlockBytes = 32768;

  // Opens the device for a format; it signals `wake` for each finished block and starts at
  // `volume`, or at its own volume without one.
  using DeviceOpener =
      std::function<DeviceOpening(const WaveFormat& format, WakeEvent& wake, std::optional<VolumeWord> volume)>;

  // Why the output has no device is reported when open finds none, and when the device goes
  // away while open: PLAYER_NTF_NO_SOUND_SERVER, _FORMAT_REFUSED or _SOUND_SERVER_GONE.
  explicit SoundCardOutput(DeviceOpener openDevice = default_device_opener());

  // Without a device the output still counts as open; pump, pause, reset and setVolume do
  // nothing and isDone answers true.
  void open(const StreamInfo& info) override;
  void close() override;
  void pump() override;
  void pause(bool paused) override;
  bool isDone() override;
  // Resumes the device first, so that what is queued next plays at once.
  void reset() override;
  // `level` as the engine received it, an unsigned number carried in an int.
  void setVolume(int level) override;
  std::uint32_t unheardMilliseconds() override;

  // min(level × 656, 65535) for both channels.
  static VolumeWord volume_word(std::uint32_t level);
  static DeviceOpener default_device_opener();

 private:
  // The open device; one that has gone away is let go here, and the loss is reported.
  WaveOutDevice* device();

  DeviceOpener openDevice_;
  std::unique_ptr<std::uint8_t[]> region_;  // block i starts at i × kBlockBytes
  std::array<WaveBlock, kBlockCount> blocks_;
  std::unique_ptr<WaveOutDevice> device_;  // let go before the blocks it may hold
  // The volume last given to a device; the next device starts at it, as a wave-out device
  // kept its volume from one opening to the next.
  std::optional<VolumeWord> volume_;
  std::optional<RaisedThreadPriority> raisedPriority_;
};

}  // namespace tunekiln
