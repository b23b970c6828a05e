// Throughput of each WAV operation on a one-hour 16-bit stereo file, against a plain copy of
// the same file in 64 KiB blocks. Prints a Markdown table; the goal is a ratio of at least 0.5.
//
//   wavproc_throughput [folder] [runs]
#include <fcntl.h>
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
  void showMessage(std::string_view text) override { message = text; }
  void setProgress(std::int32_t) override {}
  std::string message;

 private:
  std::string in_, out_;
};



void block_copy(const std::string& in, const std::string& out) {
  const int from = ::open(in.c_str(), O_RDONLY);
  const int to = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> block(64 * 1024);
  for (ssize_t got; (got = ::read(from, block.data(), block.size())) > 0;) {
    if (::write(to, block.data(), static_cast<std::size_t>(got)) != got) std::perror("write");
  }
  ::close(from);
  ::close(to);
}


}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string in = (folder / "tunekiln-bench-in.wav").string();
  const std::string out = (folder / "tunekiln-bench-out.wav").string();
  bench::write_test_wav(in, kSeconds);
  const double megabytes = static_cast<double>(std::filesystem::file_size(in)) / 1e6;

  const auto operation = [&](Outcome (*run)(WavProcessHost&)) {
    return [&, run] {
      SilentHost host(in, out);
      if (run(host) != Outcome::finished) std::fprintf(stderr, "failed: %s\n", host.message.c_str());
    };
  };
  const struct {
    const char* name;
    std::function<void()> work;
  } cases[] = {
      {"block copy (64 KiB)", [&] { block_copy(in, out); }},
      {"left", operation([](WavProcessHost& h) { return ExtractChannel(h, Channel::left); })},
      {"right", operation([](WavProcessHost& h) { return ExtractChannel(h, Channel::right); })},
      {"clear-voice", operation(ClearVoice)},
      {"volume", operation(ChangeVolume)},
      {"cut", operation(CutByTime)},
  };

  std::printf("| operation | MB/s | ratio to block copy |\n|---|---:|---:|\n");
  double copyRate = 0;
  for (const auto& c : cases) {
    c.work();  // warm the page cache and the output's blocks
    // Every run starts without the write-back of the one before.
    const double rate = megabytes / bench::median_seconds(runs, c.work, bench::Clock::wall, [] { ::sync(); });
    if (copyRate == 0) copyRate = rate;
    std::printf("| %s | %.0f | %.2f |\n", c.name, rate, rate / copyRate);
    std::fflush(stdout);
  }
  std::filesystem::remove(in);
  std::filesystem::remove(out);
  return 0;
}
