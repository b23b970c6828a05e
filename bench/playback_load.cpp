// Playing through the sound server: how soon sound is heard after PLAY and after a seek (goal:
// each below 150 ms), and the player's processor time per second of audio while a ten-minute
// 128 kbit/s stereo MP3 plays (goal: below 2 % of one core, with no underrun). Run it through
// bench/playback-load, which starts a private sound server that counts its underruns.
//
//   playback_load [seconds of MP3]    (600 by default)
#include <lame/lame.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/player.h"
#include "engine/standard_slots.h"
#include "tests/support/sink_recorder.h"

namespace {

using namespace tunekiln;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kLatencyRuns = 5;

void put16(std::ofstream& file, std::uint32_t value) {
  file.put(static_cast<char>(value & 0xFF));
  file.put(static_cast<char>(value >> 8 & 0xFF));
}

void put32(std::ofstream& file, std::uint32_t value) {
  put16(file, value & 0xFFFF);
  put16(file, value >> 16);
}

// 16-bit stereo: silence for `silentSeconds`, then a tone for `toneSeconds`.
void write_wav(const std::string& path, int silentSeconds, int toneSeconds) {
  const auto silent = static_cast<std::uint32_t>(silentSeconds * kRate);
  const auto frames = static_cast<std::uint32_t>((silentSeconds + toneSeconds) * kRate);
  std::ofstream file(path, std::ios::binary);
  file.write("RIFF", 4);
  put32(file, 36 + frames * 4);
  file.write("WAVEfmt ", 8);
  put32(file, 16);
  put16(file, 1);  // PCM
  put16(file, 2);
  put32(file, kRate);
  put32(file, kRate * 4);
  put16(file, 4);
  put16(file, 16);
  file.write("data", 4);
  put32(file, frames * 4);
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double tone = i < silent ? 0.0 : 8000 * std::sin(2 * std::numbers::pi * 440 * i / kRate);
    const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(tone));
    put16(file, value & 0xFFFF);
    put16(file, value & 0xFFFF);
  }
}


void wait_for_state(NotificationQueue& notifications, std::uint32_t state) {
  for (;;) {
    const auto notification = notifications.next();
    if (notification.number == PLAYER_NTF_STATE && notification.first == state) return;
    if (notification.number == PLAYER_NTF_NO_SOUND_SERVER || notification.number == PLAYER_NTF_FORMAT_REFUSED ||
        notification.number == PLAYER_NTF_SOUND_SERVER_GONE) {
      std::fprintf(stderr, "the sound card has no device: is a sound server running?\n");
      std::exit(1);
    }
  }
}

double milliseconds_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double process_cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Lines of the sound server's log that tell of an underrun; nothing without the log.
std::optional<int> server_underruns() {
  const char* folder = std::getenv("TUNEKILN_SOUND_SERVER_DIR");
  const char* level = std::getenv("TUNEKILN_SOUND_SERVER_LOG_LEVEL");
  if (folder == nullptr || level == nullptr || std::string(level) != "debug") return std::nullopt;
  std::ifstream log(std::filesystem::path(folder) / "pulse.log");
  int count = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find("Implicit underrun") != std::string::npos) ++count;
  }
  return count;
}

struct Latencies {
  std::vector<double> play;
  std::vector<double> seek;
};

// From the command to the first sound recorded from the sink, parec's own 20 ms included.
Latencies measure_latencies(Player& player, NotificationQueue& notifications, const std::string& folder) {
  const std::string tone = folder + "/tunekiln-bench-tone.wav";
  const std::string halfSilent = folder + "/tunekiln-bench-half-silent.wav";
  write_wav(tone, 0, 2);
  write_wav(halfSilent, 10, 10);
  test::SinkRecorder recorder;  // the private server's test sink
  recorder.waitForFrames(2 * kRate);  // the sink renders far ahead until a listener is there
  Latencies latencies;
  std::size_t at = 0;
  for (int run = 0; run < kLatencyRuns; ++run) {
    player_open(player, tone);
    std::size_t mark = recorder.frames();
    auto start = Clock::now();
    player_play(player);
    recorder.waitForRun(mark, 1, false, at);
    latencies.play.push_back(milliseconds_since(start));
    player_stop(player);
    wait_for_state(notifications, PLAYER_STATE_STOPPED);

    player_open(player, halfSilent);
    player_play(player);
    recorder.waitForFrames(recorder.frames() + kRate / 2);
    mark = recorder.frames();
    start = Clock::now();
    player_seek(player, 50, 100);
    recorder.waitForRun(mark, 1, false, at);
    latencies.seek.push_back(milliseconds_since(start));
    player_stop(player);
    wait_for_state(notifications, PLAYER_STATE_STOPPED);
    recorder.waitForRun(at, kRate / 4, true, at);
  }
  std::filesystem::remove(tone);
  std::filesystem::remove(halfSilent);
  return latencies;
}

void print_latency(const char* what, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf("| %s | %.0f | %.0f |\n", what, values[values.size() / 2], values.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 600;
  const std::string folder = std::filesystem::temp_directory_path().string();
  const std::string mp3 = folder + "/tunekiln-bench-playback.mp3";
  bench::write_test_mp3(mp3, seconds);

  NotificationQueue notifications;
  selectedOutput = 0;
  const auto player = player_create(notifications, [] {
    EngineSlots slots{.decoders = standard_decoders()};
    slots.outputs[0] = std::make_unique<SoundCardOutput>();
    return slots;
  });

  const Latencies latencies = measure_latencies(*player, notifications, folder);
  std::printf("| %d runs, ms from the command to the first sound recorded | median | worst |\n", kLatencyRuns);
  std::printf("|---|---:|---:|\n");
  print_latency("PLAY (opens the sound card)", latencies.play);
  print_latency("SEEK to a place that sounds", latencies.seek);
  std::printf("goal: below 150 ms each\n\n");

  const std::optional<int> underrunsBefore = server_underruns();
  player_open(*player, mp3);
  const double cpuBefore = process_cpu_seconds();
  const auto start = Clock::now();
  player_play(*player);
  wait_for_state(*&notifications, PLAYER_STATE_STOPPED);
  const double cpu = process_cpu_seconds() - cpuBefore;
  const double wall = milliseconds_since(start) / 1000;
  const std::optional<int> underrunsAfter = server_underruns();

  std::printf("| playing %d s of 128 kbit/s stereo MP3 | value |\n|---|---:|\n", seconds);
  std::printf("| wall time, s | %.1f |\n", wall);
  std::printf("| processor time of the whole process, s | %.2f |\n", cpu);
  std::printf("| processor time per second of audio | %.2f %% of one core |\n", 100 * cpu / seconds);
  if (underrunsBefore && underrunsAfter) {
    // The server also runs dry once at the end of every stream.
    std::printf("| underruns before the end of the stream | %d |\n", *underrunsAfter - *underrunsBefore - 1);
  } else {
    std::printf("| underruns | not counted: run bench/playback-load |\n");
  }
  std::printf("goal: below 2 %% of one core, no underrun\n");
  std::filesystem::remove(mp3);
  return 0;
}
