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
  std::optional<std::string> chooseInputFile(const FileDialogSpec&) override { return in_; }
  std::optional<std::string> chooseOutputFile(const FileDialogSpec&) override { return out_; }
  bool askVolumeMultiple() override { return accept_volume_entry("0.7"); }
  bool askCutTimes() override { return accept_cut_entries({"0", "0", "0", "0", "0", "0"}).accepted; }
  void showMessage(std::string_view text) override { message = text; }
  void setProgress(std::int32_t) override {}
  std::string message;

 private:
  std::string in_, out_;
};

void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void write_test_file(const std::string& path) {
  const std::uint32_t dataBytes = kRate * 4 * kSeconds;
  std::vector<std::uint8_t> header(44);
  std::copy_n("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24, header.begin());
  put32(header, 4, dataBytes + 36);
  put32(header, 24, kRate);
  put32(header, 28, kRate * 4);
  header[32] = 4;
  header[34] = 16;
  std::copy_n("data", 4, header.begin() + 36);
  put32(header, 40, dataBytes);
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(header.data(), 1, header.size(), file);
  std::vector<std::int16_t> second(kRate * 2);
  for (std::uint32_t i = 0; i < kRate; ++i) {
    second[2 * i] = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440 * i / kRate));
    second[2 * i + 1] = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 660 * i / kRate));
  }
  for (std::uint32_t s = 0; s < kSeconds; ++s) std::fwrite(second.data(), 2, second.size(), file);
  std::fclose(file);
}

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

double median_seconds(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    ::sync();  // every run starts without the write-back of the one before
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string in = (folder / "tunekiln-bench-in.wav").string();
  const std::string out = (folder / "tunekiln-bench-out.wav").string();
  write_test_file(in);
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
    const double rate = megabytes / median_seconds(runs, c.work);
    if (copyRate == 0) copyRate = rate;
    std::printf("| %s | %.0f | %.2f |\n", c.name, rate, rate / copyRate);
    std::fflush(stdout);
  }
  std::filesystem::remove(in);
  std::filesystem::remove(out);
  return 0;
}
