#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/wake_event.h"

namespace tunekiln {

// PCM as the sound card plays it: 16-bit signed little-endian or 8-bit unsigned samples, in
// frames of one or two channels (left first).
struct WaveFormat {
  int channels = 2;
  int sampleRate = 44100;
  int bitsPerSample = 16;
};

// A block of PCM handed to a device. `queued` is set while the device holds the block and
// cleared once the device has finished with it (played it or dropped it); until then neither
// the data nor the length may change.
struct WaveBlock {
  std::uint8_t* data = nullptr;
  std::size_t length = 0;
  std::atomic<bool> queued{false};
};

// Left volume in the low 16 bits, right volume in the high 16 bits; 0xFFFF is full volume.
using VolumeWord = std::uint32_t;

// A sound card's playback queue: blocks play in the order they are queued, and each block the
// device finishes with signals the wake event it was opened with. Used by one thread only.
// Letting go of the device drops whatever it still holds.
class WaveOutDevice {
 public:
  virtual ~WaveOutDevice() = default;

  // Queues the block behind those already queued and sets its `queued` flag.
  virtual void write(WaveBlock& block) = 0;
  virtual void pause() = 0;
  virtual void restart() = 0;
  // Drops every queued block unplayed: each comes back as finished. A paused device stays paused.
  virtual void reset() = 0;
  virtual void setVolume(VolumeWord volume) = 0;
  // How long until the last sound queued has been heard: the blocks still queued and what the
  // sound server holds before the speaker.
  virtual std::chrono::microseconds unheard() = 0;
  // True once the device cannot play any more (the sound server went away or dropped the
  // stream); its blocks' flags no longer change then.
  virtual bool gone() const = 0;
};

// Why the sound card has no device.
enum class DeviceFailure {
  noServer,       // no sound server answered
  formatRefused,  // the sound server would not play this format
  serverGone,     // the sound server went away while the device was open
};

struct DeviceOpening {
  std::unique_ptr<WaveOutDevice> device;            // nothing when the device did not open
  DeviceFailure failure = DeviceFailure::noServer;  // why, when it did not
};

// Opens a playback stream on the default sink of the sound server at `server`, or, when that
// is empty, of the user's own server (PULSE_SERVER or the usual socket). It starts at
// `volume`, or at the server's choice without one. Waits for the server at most `limit`.
DeviceOpening open_wave_out(const WaveFormat& format, WakeEvent& wake, std::optional<VolumeWord> volume,
                            const std::string& server = {},
                            std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

}  // namespace tunekiln
