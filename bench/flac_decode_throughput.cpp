// Decoding a ten-minute 16-bit stereo FLAC file to WAV with `tunekiln-cli decode`, against a
// bare libsndfile loop that reads the same file into memory: processor time, goal at most 1.2
// times the bare loop. Also the command's peak memory for one and for ten minutes, which
// must not grow with the file's length.
//
//   flac_decode_throughput CLI [folder] [runs]
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"

extern char** environ;

namespace {

using namespace tunekiln;

// The chord of the benchmarks' WAV file, as libsndfile writes it in FLAC.
bool write_test_flac(const std::string& folder, const std::string& path, int seconds) {
  const std::string wav = folder + "/flac-source.wav";
  bench::write_test_wav(wav, seconds);
  SF_INFO in{};
  SNDFILE* source = sf_open(wav.c_str(), SFM_READ, &in);
  SF_INFO out = in;
  out.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  SNDFILE* flac = source != nullptr ? sf_open(path.c_str(), SFM_WRITE, &out) : nullptr;
  if (flac == nullptr) return false;
  std::vector<short> block(65536);
  for (sf_count_t got; (got = sf_readf_short(source, block.data(), 32768)) > 0;)
    sf_writef_short(flac, block.data(), got);
  sf_close(flac);
  sf_close(source);
  std::remove(wav.c_str());
  return true;
}

void read_bare(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<short> block(65536);
  while (sf_readf_short(file, block.data(), 32768) > 0) {
  }
  sf_close(file);
}

struct Child {
  double processor = 0;  // seconds, user and system
  long peakKb = 0;
};

Child run_child(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int status = 0;
  rusage usage{};
  const bool ran = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 &&
                   wait4(pid, &status, 0, &usage) == pid;
  if (!ran || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    // A failed run would pass for a fast one.
    std::fprintf(stderr, "%s failed\n", argv[0]);
    std::exit(1);
  }
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: flac_decode_throughput CLI [folder] [runs]\n");
    return 2;
  }
  const std::string cli = argv[1];
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  const int runs = argc > 3 ? std::stoi(argv[3]) : 5;
  const std::string longFlac = folder + "/ten-minutes.flac", shortFlac = folder + "/one-minute.flac";
  const std::string out = folder + "/flac-decoded.wav";
  if (!write_test_flac(folder, longFlac, 600) || !write_test_flac(folder, shortFlac, 60)) return 1;

  const double bare = bench::median_seconds(
      runs, [&] { read_bare(longFlac); }, bench::Clock::processor);
  std::vector<double> times;
  long peakLong = 0, peakShort = 0;
  for (int run = 0; run < runs; ++run) {
    // Freeing the pages of the last run's output is the cost of replacing a file, not of decoding.
    std::remove(out.c_str());
    const Child child = run_child({cli, "decode", "--jobs", "1", longFlac, out});
    times.push_back(child.processor);
    peakLong = std::max(peakLong, child.peakKb);
    peakShort = std::max(peakShort, run_child({cli, "decode", "--jobs", "1", shortFlac, out}).peakKb);
  }
  std::sort(times.begin(), times.end());
  const double decode = times[times.size() / 2];
  std::printf("| decoding 600 s of 16-bit stereo FLAC | processor s | peak memory MB |\n|---|---:|---:|\n");
  std::printf("| bare libsndfile read loop, into memory | %.3f | |\n", bare);
  std::printf("| tunekiln-cli decode to a WAV file (60 s file) | | %.1f |\n", peakShort / 1024.0);
  std::printf("| tunekiln-cli decode to a WAV file | %.3f | %.1f |\n", decode, peakLong / 1024.0);
  std::printf("\ndecode / bare loop: %.3f (goal: at most 1.20)\n", decode / bare);
  std::remove(longFlac.c_str());
  std::remove(shortFlac.c_str());
  std::remove(out.c_str());
  return 0;
}
