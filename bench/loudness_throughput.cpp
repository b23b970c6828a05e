// What measuring the loudness and the true peak adds to the analysis pass on a one-hour 16-bit
// stereo WAV file: processor time with and without them (goal: under 1 s more), the true-peak
// meter's share of it, and the heap the meter holds after ten minutes and after the hour (goal:
// the same, memory constant in the length). Prints Markdown tables.
//
//   loudness_throughput [folder] [runs]
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "audiofile/wave_header.h"
#include "bench/bench_support.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/true_peak.h"

namespace {

using namespace tunekiln;

// One analysis pass over the first `frames` of the file; the heap in use at its end, the
// analyser and its meter still alive.
std::size_t analyse(const std::string& path, bool loudness, std::optional<std::uint64_t> frames = std::nullopt) {
  const auto file = InputFile::open(path);
  const FileByteReader reader(*file);
  auto header = *read_wave_header(reader).header;
  if (frames) header.dataEnd = std::min(header.dataEnd, header.dataBegin + *frames * header.format.bytesPerFrame());
  PcmAnalyser analyser(header.format);
  if (loudness) analyser.measureLoudness();
  if (!read_pcm_into(reader, header, analyser)) std::fprintf(stderr, "analysis failed\n");
  if (loudness && !std::holds_alternative<double>(analyser.loudness()->result().integrated)) {
    std::fprintf(stderr, "no loudness\n");
  }
  return mallinfo2().uordblks;
}

// The true-peak meter alone over an hour of 44.1 kHz stereo, fed from memory one second at a time.
double true_peak_seconds(int runs) {
  std::vector<double> second(2 * static_cast<std::size_t>(bench::kRate));
  for (std::size_t i = 0; i < second.size(); ++i) second[i] = 0.5 * std::sin(0.01 * double(i) * double(1 + i % 2));
  return bench::median_seconds(runs, [&] {
    TruePeakMeter meter(2, bench::kRate);
    for (int s = 0; s < 3600; ++s) meter.add(second.data(), bench::kRate);
    if (meter.truePeak(0) < 0.5) std::fprintf(stderr, "true peak missed\n");
  }, bench::Clock::processor);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string wav = (folder / "tunekiln-bench-loudness.wav").string();
  bench::write_test_wav(wav, 3600);

  analyse(wav, false);  // both runs read from the page cache
  const double plain = bench::median_seconds(runs, [&] { analyse(wav, false); }, bench::Clock::processor);
  const double measured = bench::median_seconds(runs, [&] { analyse(wav, true); }, bench::Clock::processor);
  std::printf("| one hour of 16-bit stereo | processor seconds | times real time | ratio |\n|---|---:|---:|---:|\n");
  const double truePeak = true_peak_seconds(runs);
  std::printf("| analyse | %.2f | %.0f | 1.00 |\n| analyse with loudness and true peak | %.2f | %.0f | %.2f |\n", plain,
              3600 / plain, measured, 3600 / measured, measured / plain);
  std::printf("| the true-peak meter alone, from memory | %.2f | %.0f | %.2f |\n\n", truePeak, 3600 / truePeak,
              truePeak / plain);

  // The heap of a pass without the meter is the baseline; the meter's own is what it adds.
  const auto base = static_cast<double>(analyse(wav, false, 600ull * bench::kRate));
  const auto tenMinutes = static_cast<double>(analyse(wav, true, 600ull * bench::kRate)) - base;
  const auto hour = static_cast<double>(analyse(wav, true)) - base;
  std::printf("| heap held by the meter at the end of the pass | KiB |\n|---|---:|\n");
  std::printf("| after 10 minutes | %.1f |\n| after 60 minutes | %.1f |\n", tenMinutes / 1024, hour / 1024);
  std::filesystem::remove(wav);
  return 0;
}
