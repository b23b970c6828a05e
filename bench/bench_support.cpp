#include "bench/bench_support.h"

#include <lame/lame.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace tunekiln::bench {
namespace {

// One second of the chord, interleaved left and right.
void chord_second(int second, std::vector<std::int16_t>& frames) {
  frames.resize(2 * kRate);
  const double root = 220.0 * std::pow(2.0, (second / 4 % 12) / 12.0);
  for (int i = 0; i < kRate; ++i) {
    const double t = second + static_cast<double>(i) / kRate;
    const double chord =
        std::sin(2 * std::numbers::pi * root * t) + 0.6 * std::sin(2 * std::numbers::pi * root * 1.5 * t);
    frames[2 * static_cast<std::size_t>(i)] = static_cast<std::int16_t>(9000 * chord);
    frames[2 * static_cast<std::size_t>(i) + 1] =
        static_cast<std::int16_t>(9000 * std::sin(2 * std::numbers::pi * root * 2.0 * t + chord));
  }
}

void put32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

double now(Clock clock) {
  if (clock == Clock::wall) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  timespec time{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

}  // namespace

void write_test_wav(const std::string& path, int seconds) {
  const std::uint32_t dataBytes = kRate * 4u * static_cast<std::uint32_t>(seconds);
  std::uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                             1,   0,   2,   0,   0, 0, 0, 0, 0,   0,   0,   0,   4,   0,   16,  0,   'd', 'a', 't', 'a'};
  put32(header + 4, dataBytes + 36);
  put32(header + 24, kRate);
  put32(header + 28, kRate * 4);
  put32(header + 40, dataBytes);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(header, 1, sizeof header, file);
  std::vector<std::int16_t> frames;
  for (int second = 0; second < seconds; ++second) {
    chord_second(second, frames);
    std::fwrite(frames.data(), 2, frames.size(), file);
  }
  std::fclose(file);
}

void write_test_mp3(const std::string& path, int seconds) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, kRate);
  lame_set_num_channels(lame, 2);
  lame_set_brate(lame, 128);
  lame_set_quality(lame, 7);  // the test file, not the encoder, is what is measured
  lame_init_params(lame);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::vector<std::int16_t> frames;
  std::vector<unsigned char> mp3(2 * kRate + 7200);
  for (int second = 0; second < seconds; ++second) {
    chord_second(second, frames);
    const int bytes = lame_encode_buffer_interleaved(lame, frames.data(), kRate, mp3.data(), static_cast<int>(mp3.size()));
    std::fwrite(mp3.data(), 1, static_cast<std::size_t>(bytes), file);
  }
  const int bytes = lame_encode_flush(lame, mp3.data(), static_cast<int>(mp3.size()));
  std::fwrite(mp3.data(), 1, static_cast<std::size_t>(bytes), file);
  std::fclose(file);
  lame_close(lame);
}

double median_seconds(int runs, const std::function<void()>& work, Clock clock,
                      const std::function<void()>& beforeEach) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    if (beforeEach) beforeEach();
    const double start = now(clock);
    work();
    times.push_back(now(clock) - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace tunekiln::bench
