// The synthesis alone on a ten-minute 128 kbit/s stereo MP3: libmad's mad_synth_frame against
// ours, in the processor's vector lanes. Frames are decoded once per batch and each
// synthesiser runs over the same batch, so only the synthesis is on the clock (this thread's
// processor time, which other load on the machine does not add to).
//
//   synthesis_throughput [folder] [runs]
#include <mad.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "bench/bench_support.h"
#include "engine/mp3_synthesis.h"

namespace {

using tunekiln::Mp3Synthesis;

constexpr int kSeconds = 600;
constexpr std::size_t kBatch = 64;

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Seconds {
  double libmad = 0;
  double fastest = 0;
  std::size_t frames = 0;
};

template <typename Synthesise>
double time_batch(const std::vector<mad_frame>& batch, std::size_t count, Synthesise synthesise) {
  const double start = thread_seconds();
  for (std::size_t i = 0; i < count; ++i) synthesise(batch[i]);
  return thread_seconds() - start;
}

Seconds synthesise_file(std::vector<unsigned char>& mp3) {
  mad_stream stream;
  mad_frame frame;
  mad_synth libmad;
  mad_stream_init(&stream);
  mad_frame_init(&frame);
  mad_synth_init(&libmad);
  mad_stream_buffer(&stream, mp3.data(), mp3.size());
  Mp3Synthesis fastest;
  // Copies of the decoded frame; the synthesis reads only their header and subband samples.
  std::vector<mad_frame> batch(kBatch);
  Seconds seconds;
  for (bool more = true; more;) {
    std::size_t count = 0;
    while (count < kBatch) {
      if (mad_frame_decode(&frame, &stream) == 0) {
        batch[count++] = frame;
      } else if (!MAD_RECOVERABLE(stream.error)) {
        more = false;
        break;
      }
    }
    seconds.libmad += time_batch(batch, count, [&](const mad_frame& f) { mad_synth_frame(&libmad, &f); });
    seconds.fastest += time_batch(batch, count, [&](const mad_frame& f) { fastest.synthesise(f); });
    seconds.frames += count;
  }
  mad_frame_finish(&frame);
  mad_stream_finish(&stream);
  return seconds;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string path = (folder / "synthesis.mp3").string();
  tunekiln::bench::write_test_mp3(path, kSeconds);
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> mp3((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  mp3.resize(mp3.size() + MAD_BUFFER_GUARD);
  std::filesystem::remove(path);

  std::vector<double> libmad, fastest;
  std::size_t frames = 0;
  for (int run = 0; run < runs; ++run) {
    const Seconds seconds = synthesise_file(mp3);
    libmad.push_back(seconds.libmad);
    fastest.push_back(seconds.fastest);
    frames = seconds.frames;
  }
  const double reference = median(libmad);
  std::printf("| synthesis of %zu stereo frames (%d s) | processor seconds | µs per frame | libmad / this |\n",
              frames, kSeconds);
  std::printf("|---|---:|---:|---:|\n");
  const auto row = [&](const char* name, double seconds) {
    std::printf("| %s | %.3f | %.2f | %.2f |\n", name, seconds, seconds * 1e6 / static_cast<double>(frames),
                reference / seconds);
  };
  row("libmad mad_synth_frame", reference);
  row(tunekiln::Mp3Synthesis::vectorised() ? "Mp3Synthesis, AVX2" : "Mp3Synthesis (libmad's, no AVX2)",
      median(fastest));
  std::printf("\nspeed-up of our synthesis over libmad's: %.2f\n", reference / median(fastest));
}
