// Throughput of each WAV operation on one-hour 16-bit and 24-bit stereo files, against a plain
// copy of the same file in 256 KiB blocks, and the largest resident memory of the whole run.
// Prints a Markdown table; the goal is a ratio of at least 0.5.
//
//   wavproc_throughput [folder] [runs]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_operations.h"

namespace {

using namespace tunekiln;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kSeconds = 3600;

class SilentHost final : public WavProcessHost {
 public:
  SilentHost(std::string in, std::string out) : in_(std::move(in)), out_(std::move(out)) {}
  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return in_; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return out_; }
  bool askVolumeMultiple() override { return accept_volume_entry("0.7"); }
  bool askCutTimes() override { return accept_cut_entries({"0", "0", "0", "0", "0", "0"}).accepted; }
  void setProgress(std::int32_t) override {}

 private:
  std::string in_, out_;
};



void block_copy(const std::string& in, const std::string& out) {
  const int from = ::open(in.c_str(), O_RDONLY);
  const int to = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> block(256 * 1024);
  for (ssize_t got; (got = ::read(from, block.data(), block.size())) > 0;) {
    if (::write(to, block.data(), static_cast<std::size_t>(got)) != got) std::perror("write");
  }
  ::close(from);
  ::close(to);
}

void put32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The 16-bit test file with every sample widened to 24 bits; the low byte varies, as it does
// in a recording.
void widen_to_24_bits(const std::string& in, const std::string& out) {
  std::FILE* from = std::fopen(in.c_str(), "rb");
  std::FILE* to = std::fopen(out.c_str(), "wb");
  std::uint8_t header[44];
  if (std::fread(header, 1, sizeof header, from) != sizeof header) std::perror("read");
  const std::uint32_t samples = (header[40] | header[41] << 8 | header[42] << 16 | std::uint32_t{header[43]} << 24) / 2;
  put32(header + 4, 36 + 3 * samples);
  put32(header + 28, kRate * 6);
  header[32] = 6;   // block align
  header[34] = 24;  // bits
  put32(header + 40, 3 * samples);
  std::fwrite(header, 1, sizeof header, to);
  std::vector<std::uint8_t> narrow(64 * 1024), wide(narrow.size() / 2 * 3);
  for (std::size_t got; (got = std::fread(narrow.data(), 1, narrow.size(), from)) > 0;) {
    for (std::size_t i = 0; i < got / 2; ++i) {
      wide[3 * i] = static_cast<std::uint8_t>(i * 37);
      wide[3 * i + 1] = narrow[2 * i];
      wide[3 * i + 2] = narrow[2 * i + 1];
    }
    std::fwrite(wide.data(), 3, got / 2, to);
  }
  std::fclose(from);
  std::fclose(to);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string in16 = (folder / "tunekiln-bench-in16.wav").string();
  const std::string in24 = (folder / "tunekiln-bench-in24.wav").string();
  const std::string out = (folder / "tunekiln-bench-out.wav").string();
  bench::write_test_wav(in16, kSeconds);
  widen_to_24_bits(in16, in24);

  std::printf("| file | operation | MB/s | ratio to block copy |\n|---|---|---:|---:|\n");
  for (const auto& [name, in] : {std::pair{"16-bit", in16}, std::pair{"24-bit", in24}}) {
    const auto operation = [&, in = in](OperationResult (*run)(WavProcessHost&)) {
      return [&, in, run] {
        SilentHost host(in, out);
        const auto result = run(host);
        if (result.outcome != Outcome::finished) std::fprintf(stderr, "failed: %s\n", result.message.c_str());
      };
    };
    const struct {
      const char* name;
      std::function<void()> work;
    } cases[] = {
        {"block copy (256 KiB)", [&, in = in] { block_copy(in, out); }},
        {"left", operation([](WavProcessHost& h) { return ExtractChannel(h, Channel::left); })},
        {"right", operation([](WavProcessHost& h) { return ExtractChannel(h, Channel::right); })},
        {"clear-voice", operation([](WavProcessHost& h) { return ClearVoice(h); })},
        {"volume", operation([](WavProcessHost& h) { return ChangeVolume(h); })},
        {"cut", operation([](WavProcessHost& h) { return CutByTime(h); })},
    };
    const double megabytes = static_cast<double>(std::filesystem::file_size(in)) / 1e6;
    double copyRate = 0;
    for (const auto& c : cases) {
      c.work();  // warm the page cache and the output's blocks
      // Every run starts without the write-back of the one before.
      const double rate = megabytes / bench::median_seconds(runs, c.work, bench::Clock::wall, [] { ::sync(); });
      if (copyRate == 0) copyRate = rate;
      std::printf("| %s | %s | %.0f | %.2f |\n", name, c.name, rate, rate / copyRate);
      std::fflush(stdout);
    }
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("\nLargest resident memory: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024);
  for (const auto& path : {in16, in24, out}) std::filesystem::remove(path);
  return 0;
}
