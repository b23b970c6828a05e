// Decoding a ten-minute 128 kbit/s stereo MP3 into a WAV file through the engine, against a
// bare libmad loop with the same dither writing the same file. The goal is the engine within
// 10 % of the bare loop. Then the engine decoding in chunks on 2 and every core against its
// one-thread road, in wall and processor time. Also measures the engine thread's processor time
// while nothing is open.
//
//   decode_throughput [folder] [runs]
#include <fcntl.h>
#include <lame/lame.h>
#include <mad.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "engine/player.h"
#include "engine/standard_slots.h"
#include "engine/wav_file_writer.h"

namespace {

using namespace tunekiln;

constexpr int kRate = 44100;
constexpr int kSeconds = 600;

class FixedDestination final : public WavWriterHost {
 public:
  explicit FixedDestination(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> chooseDestination() override { return path_; }

 private:
  std::string path_;
};

// With `threads` above 1, the MP3 decoder decodes in chunks on that many threads.
void decode_with_engine(const std::string& in, const std::string& out, unsigned int threads = 1) {
  NotificationQueue notifications;
  FixedDestination destination(out);
  const auto player = player_create(notifications, [&destination, threads] {
    EngineSlots slots{.decoders = standard_decoders(threads)};
    slots.outputs[2] = std::make_unique<WavFileWriter>(destination);
    return slots;
  });
  player_open(*player, in);
  selectedOutput = 2;
  player_select_output(*player);
  player_play(*player);
  for (;;) {
    const auto notification = notifications.next();
    if (notification.number == PLAYER_NTF_STATE && notification.first == PLAYER_STATE_STOPPED) break;
    if (notification.number == PLAYER_NTF_WRITE_FAILED) std::fprintf(stderr, "engine: the WAV file was not written\n");
  }
}

// The limit: libmad and the dither with nothing around them.
struct Dither {
  mad_fixed_t error[3] = {0, 0, 0};
  std::uint32_t random = 0;

  std::int16_t operator()(mad_fixed_t sample) {
    std::int32_t s =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(sample) + static_cast<std::uint32_t>(error[0]) -
                                  static_cast<std::uint32_t>(error[1]) + static_cast<std::uint32_t>(error[2]));
    error[2] = error[1];
    error[1] = error[0] / 2;
    const std::uint32_t next = random * 1664525u + 1013904223u;
    std::int32_t out =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(s) + 4096u + (next & 0x1FFFu) - (random & 0x1FFFu));
    random = next;
    if (out > 0x0FFFFFFF) {
      out = 0x0FFFFFFF;
      s = std::min(s, 0x0FFFFFFF);
    } else if (out < -0x10000000) {
      out = -0x10000000;
      s = std::max(s, -0x10000000);
    }
    const std::int32_t q = out & ~0x1FFF;
    error[0] = static_cast<std::int32_t>(static_cast<std::uint32_t>(s) - static_cast<std::uint32_t>(q));
    return static_cast<std::int16_t>(q >> 13);
  }
};

void decode_bare(const std::string& in, const std::string& out) {
  const int input = ::open(in.c_str(), O_RDONLY);
  const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<unsigned char> header(46, 0);  // sizes are not the point here
  if (::write(output, header.data(), header.size()) < 0) std::perror("write");

  mad_stream stream;
  mad_frame frame;
  mad_synth synth;
  mad_stream_init(&stream);
  mad_frame_init(&frame);
  mad_synth_init(&synth);
  Dither left, right;
  std::vector<unsigned char> buffer(40000);
  std::vector<std::int16_t> block(32768 / 2);
  std::size_t filled = 0, held = 0;
  for (;;) {
    if (mad_frame_decode(&frame, &stream) != 0) {
      if (MAD_RECOVERABLE(stream.error)) continue;
      if (stream.next_frame != nullptr) {
        held = static_cast<std::size_t>(buffer.data() + held - stream.next_frame);
        std::memmove(buffer.data(), stream.next_frame, held);
      }
      const ssize_t got = ::read(input, buffer.data() + held, buffer.size() - held);
      if (got <= 0) break;
      held += static_cast<std::size_t>(got);
      mad_stream_buffer(&stream, buffer.data(), held);
      continue;
    }
    mad_synth_frame(&synth, &frame);
    const mad_fixed_t* l = synth.pcm.samples[0];
    const mad_fixed_t* r = synth.pcm.channels == 2 ? synth.pcm.samples[1] : l;
    for (unsigned i = 0; i < synth.pcm.length; ++i) {
      block[filled++] = left(l[i]);
      block[filled++] = right(r[i]);
      if (filled == block.size()) {
        if (::write(output, block.data(), filled * 2) < 0) std::perror("write");
        filled = 0;
      }
    }
  }
  if (::write(output, block.data(), filled * 2) < 0) std::perror("write");
  mad_synth_finish(&synth);
  mad_frame_finish(&frame);
  mad_stream_finish(&stream);
  ::close(input);
  ::close(output);
}

double process_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The medians of `runs` runs' wall and processor (every thread's) seconds.
struct Times {
  double wall, processor;
};
Times median_times(int runs, const std::function<void()>& work) {
  std::vector<double> walls, processors;
  for (int run = 0; run < runs; ++run) {
    const double cpuBefore = process_cpu_seconds();
    const auto before = std::chrono::steady_clock::now();
    work();
    walls.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count());
    processors.push_back(process_cpu_seconds() - cpuBefore);
  }
  std::sort(walls.begin(), walls.end());
  std::sort(processors.begin(), processors.end());
  return {walls[walls.size() / 2], processors[processors.size() / 2]};
}

// The engine's one-thread road, and chunks on 2 threads and on every core, with the bare loop for scale.
void compare_threads(int runs, const std::string& in, const std::string& out) {
  const Times bare = median_times(runs, [&] { decode_bare(in, out); });
  const Times one = median_times(runs, [&] { decode_with_engine(in, out); });
  std::printf("\n| decoding %d s of MP3 to WAV | wall s | processor s | speed-up | per core |\n", kSeconds);
  std::printf("|---|---:|---:|---:|---:|\n");
  std::printf("| bare libmad loop with dither | %.3f | %.3f | | |\n", bare.wall, bare.processor);
  std::printf("| engine, one thread (--jobs 1) | %.3f | %.3f | 1.00 | 1.00 |\n", one.wall, one.processor);
  const unsigned int cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<unsigned int> threadCounts{2};
  if (cores > 2) threadCounts.push_back(cores);
  for (const unsigned int threads : threadCounts) {
    const Times chunked = median_times(runs, [&] { decode_with_engine(in, out, threads); });
    const double speedUp = one.wall / chunked.wall;
    std::printf("| engine, chunks on %u threads%s | %.3f | %.3f | %.2f | %.2f |\n", threads,
                threads == cores ? " (every core)" : "", chunked.wall, chunked.processor, speedUp, speedUp / threads);
  }
}

double thread_cpu_seconds(std::thread& thread) {
  clockid_t clock{};
  timespec used{};
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0) return -1;
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string in = (folder / "tunekiln-bench-in.mp3").string();
  const std::string out = (folder / "tunekiln-bench-out.wav").string();
  bench::write_test_mp3(in, kSeconds);

  const double bare = bench::median_seconds(runs, [&] { decode_bare(in, out); });
  const double bareBytes = static_cast<double>(std::filesystem::file_size(out));
  const double engine = bench::median_seconds(runs, [&] { decode_with_engine(in, out); });
  const double engineBytes = static_cast<double>(std::filesystem::file_size(out));
  std::printf("| decoding %d s of 128 kbit/s stereo MP3 to WAV | seconds | MB written | times real time |\n", kSeconds);
  std::printf("|---|---:|---:|---:|\n");
  std::printf("| bare libmad loop with dither | %.3f | %.1f | %.0f |\n", bare, bareBytes / 1e6, kSeconds / bare);
  std::printf("| engine and WAV file writer | %.3f | %.1f | %.0f |\n", engine, engineBytes / 1e6, kSeconds / engine);
  std::printf("\nengine / bare loop: %.3f (goal: at most 1.10)\n", engine / bare);
  compare_threads(runs, in, out);

  // With nothing open the engine thread must sleep, not poll.
  NotificationQueue notifications;
  FixedDestination destination(out);
  const auto player = player_create(notifications, [&destination] { return standard_engine_slots(destination); });
  player_post(*player, {.number = PLAYER_CMD_PING});
  notifications.next();
  const double before = thread_cpu_seconds(player->thread);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double idle = thread_cpu_seconds(player->thread) - before;
  std::printf("engine thread processor time during 1 s with nothing open: %.3f ms\n", idle * 1e3);

  std::filesystem::remove(in);
  std::filesystem::remove(out);
  return 0;
}
