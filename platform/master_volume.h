#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tunekiln {

// The system's master volume: the volume of the sound server's default sink, in the server's
// units (65536 is 100 %). Used by one thread at a time.
class MasterVolume {
 public:
  virtual ~MasterVolume() = default;
  // The loudest channel's volume; nothing when the server does not answer.
  virtual std::optional<std::uint32_t> get() = 0;
  // Sets every channel to `value`; false when the server does not take it.
  virtual bool set(std::uint32_t value) = 0;
};

// The master volume of the sound server at `server`, or, when that is empty, of the user's own
// (PULSE_SERVER or the usual socket); nothing when no server answers within `limit`.
std::unique_ptr<MasterVolume> open_master_volume(const std::string& server = {},
                                                 std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

using MasterVolumeOpener = std::function<std::unique_ptr<MasterVolume>()>;

}  // namespace tunekiln
