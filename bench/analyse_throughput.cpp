// Speed of the analysis pass on a one-hour 16-bit stereo WAV file, against a plain read of the
// same file in 256 KiB blocks (goal: at least 0.5), and of the frame-header walk over a
// ten-minute MP3 file (goal: under 50 ms). Prints Markdown tables.
//
//   analyse_throughput [folder] [runs]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "audiofile/wave_header.h"
#include "bench/bench_support.h"
#include "audiofile/mp3_frame_walk.h"
#include "wavproc/audio_analysis.h"

namespace {

using namespace tunekiln;

void block_read(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> block(256 * 1024);
  while (::read(fd, block.data(), block.size()) > 0) {
  }
  ::close(fd);
}

void analyse(const std::string& path) {
  const auto file = InputFile::open(path);
  const FileByteReader reader(*file);
  const auto parse = read_wave_header(reader);
  if (!parse.header || !analyse_pcm(reader, *parse.header)) std::fprintf(stderr, "analysis failed\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string wav = (folder / "tunekiln-bench-analyse.wav").string();
  const std::string mp3 = (folder / "tunekiln-bench-analyse.mp3").string();
  bench::write_test_wav(wav, 3600);
  bench::write_test_mp3(mp3, 600);
  const double megabytes = static_cast<double>(std::filesystem::file_size(wav)) / 1e6;

  block_read(wav);  // both runs read from the page cache
  // Processor time: both are bound by it once the file is cached, and other load only slows them.
  const double readRate = megabytes / bench::median_seconds(runs, [&] { block_read(wav); }, bench::Clock::processor);
  const double analyseRate = megabytes / bench::median_seconds(runs, [&] { analyse(wav); }, bench::Clock::processor);
  std::printf("| one hour of 16-bit stereo | MB/s | ratio to block read |\n|---|---:|---:|\n");
  std::printf("| block read (256 KiB) | %.0f | 1.00 |\n| analyse | %.0f | %.2f |\n\n", readRate, analyseRate,
              analyseRate / readRate);

  const auto file = InputFile::open(mp3);
  const FileByteReader reader(*file);
  std::uint64_t frames = 0;
  const double walkSeconds = bench::median_seconds(runs, [&] { frames = walk_mp3_frames(reader, true).frames; });
  std::printf("| ten-minute MP3 | frames | ms |\n|---|---:|---:|\n| frame-header walk | %llu | %.1f |\n",
              static_cast<unsigned long long>(frames), walkSeconds * 1000);
  std::filesystem::remove(wav);
  std::filesystem::remove(mp3);
  return 0;
}
