#pragma once

#include <functional>
#include <string>

// What the benchmarks share: their test files and their clocks.
namespace tunekiln::bench {

inline constexpr int kRate = 44100;

// `seconds` of 44.1 kHz 16-bit stereo: a chord that moves every few seconds, so that the
// encoders and decoders work as on music rather than on silence.
void write_test_wav(const std::string& path, int seconds);
// The same chord as a 128 kbit/s constant-bitrate MP3.
void write_test_mp3(const std::string& path, int seconds);

enum class Clock {
  wall,       // for work that waits on the disk
  processor,  // for work bound by the processor, which other load on the machine only slows
};

// The median time of `runs` runs of `work`; `beforeEach` runs untimed ahead of every run.
double median_seconds(int runs, const std::function<void()>& work, Clock clock = Clock::wall,
                      const std::function<void()>& beforeEach = {});

}  // namespace tunekiln::bench
