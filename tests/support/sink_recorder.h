#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// Records what the test sink of the sound server plays, from its monitor, as 16-bit stereo at
// 44100 Hz, while it lives (parec with a small latency). The server renders up to 2 s ahead
// while no client with a small latency listens, so a recorder should run 2 s before what it is
// to hear (waitForFrames(2 * 44100)).
class SinkRecorder {
 public:
  static constexpr int kRate = 44100;
  // How far a wait looks from where it starts before it gives up: 10 s of recording.
  static constexpr std::size_t kLookAhead = 10 * kRate;

  SinkRecorder();
  ~SinkRecorder();

  // Everything parec has written so far.
  std::size_t frames() {
    pull(false);
    return bytes_.size() / 4;
  }
  // The frames from `first` on, as far as the last call has read.
  Bytes recorded(std::size_t first) const {
    return Bytes(bytes_.begin() + first * 4, bytes_.begin() + bytes_.size() / 4 * 4);
  }

  // Each wait answers false when the recording ended (parec stopped) first.
  bool waitForFrames(std::size_t count) {
    while (bytes_.size() / 4 < count) {
      if (!pull(true)) return false;
    }
    return true;
  }
  // Until `length` frames in a row that are all silent (or all sounding) begin at `from` or
  // later, within kLookAhead; gives the first.
  bool waitForRun(std::size_t from, std::size_t length, bool silent, std::size_t& at);

 private:
  // Reads what parec has written; with `wait`, waits for it to write. False when it has ended.
  bool pull(bool wait);

  int pid_ = -1;
  int pipe_ = -1;
  std::vector<std::uint8_t> bytes_;
};

// Stereo frames that each tell where they stand: frame i holds the number i + 1, its low 16 bits
// left and its high 16 bits right, so no frame is silent and a recording shows which frames
// arrived, in which order, and whether any was lost or repeated.
Bytes counting_frames(std::size_t count);

// The runs of consecutive counted frames in a recording: silence ends a run, and so does a
// frame that does not follow the one before.
struct CountedRun {
  // The counted index of its first frame
  std::int64_t firstIndex;
  // Its length in frames.
  std::size_t length;
  // Frame of the recording where it starts
  std::size_t at;

  std::int64_t end() const { return firstIndex + static_cast<std::int64_t>(length); }
};
std::vector<CountedRun> counted_runs(const Bytes& recording);

}  // namespace tunekiln::test
