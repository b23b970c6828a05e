// Save to MP3 on a ten-minute 44.1 kHz 16-bit stereo WAV file, against a bare libmp3lame loop
// over the same samples. Prints a Markdown table; the goal is a ratio within 3 % of the bare
// loop, and both must write the same bytes.
//
//   encode_throughput [folder] [runs]
#include <lame/lame.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "encoder/save_to_mp3.h"

namespace {

using namespace tunekiln;

constexpr int kRate = 44100;
constexpr int kSeconds = 600;
constexpr int kHeaderBytes = 44;

class SilentHost final : public SaveToMp3Host {
 public:
  SilentHost(std::string in, std::string out) : in_(std::move(in)), out_(std::move(out)) {}
  std::optional<std::string> chooseInputFile(const FileDialogSpec&) override { return in_; }
  std::optional<std::string> chooseOutputFile(const FileDialogSpec&) override { return out_; }
  bool askVolumeMultiple() override { return false; }
  bool askCutTimes() override { return false; }
  void showMessage(std::string_view text) override { message = text; }
  void setProgress(std::int32_t) override {}
  void encodeProgress(int) override {}
  std::string message;

 private:
  std::string in_, out_;
};

void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void write_test_file(const std::string& path) {
  const std::uint32_t dataBytes = kRate * 4u * kSeconds;
  std::vector<std::uint8_t> header(kHeaderBytes);
  std::copy_n("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24, header.begin());
  put32(header, 4, dataBytes + 36);
  put32(header, 24, kRate);
  put32(header, 28, kRate * 4);
  header[32] = 4;
  header[34] = 16;
  std::copy_n("data", 4, header.begin() + 36);
  put32(header, 40, dataBytes);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(header.data(), 1, header.size(), file);
  // A chord that changes every second gives the encoder real work, unlike silence.
  std::vector<std::int16_t> second(kRate * 2);
  for (int s = 0; s < kSeconds; ++s) {
    const double base = 220.0 * std::pow(2.0, (s % 24) / 12.0);
    for (int i = 0; i < kRate; ++i) {
      const double t = static_cast<double>(i) / kRate;
      second[2 * static_cast<std::size_t>(i)] = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * base * t) +
                                                                          3000 * std::sin(2 * M_PI * 3.01 * base * t));
      second[2 * static_cast<std::size_t>(i) + 1] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 1.5 * base * t));
    }
    std::fwrite(second.data(), 2, second.size(), file);
  }
  std::fclose(file);
}

// What any program that encodes a WAV file with libmp3lame's defaults does, and no more.
void bare_loop(const std::string& in, const std::string& out) {
  std::FILE* input = std::fopen(in.c_str(), "rb");
  std::FILE* output = std::fopen(out.c_str(), "wb+");
  std::fseek(input, kHeaderBytes, SEEK_SET);
  lame_t encoder = lame_init();
  lame_set_num_channels(encoder, 2);
  lame_set_in_samplerate(encoder, kRate);
  lame_set_num_samples(encoder, static_cast<unsigned long>(kRate) * kSeconds);
  lame_init_params(encoder);
  std::vector<short> pcm(2 * 1152);
  std::vector<unsigned char> mp3(16384);
  for (;;) {
    const auto frames = static_cast<int>(std::fread(pcm.data(), 4, 1152, input));
    const int bytes = lame_encode_buffer_interleaved(encoder, pcm.data(), frames, mp3.data(), static_cast<int>(mp3.size()));
    std::fwrite(mp3.data(), 1, static_cast<std::size_t>(bytes), output);
    if (frames == 0) break;
  }
  const int bytes = lame_encode_flush(encoder, mp3.data(), static_cast<int>(mp3.size()));
  std::fwrite(mp3.data(), 1, static_cast<std::size_t>(bytes), output);
  lame_mp3_tags_fid(encoder, output);
  std::fclose(output);
  std::fclose(input);
  lame_close(encoder);
}

// Processor time rather than wall time: the machine may be busy with other work, and the
// encoding is bound by the processor, not by the disk.
double seconds_of(const std::function<void()>& work) {
  const auto now = [] {
    timespec time{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
  };
  const double start = now();
  work();
  return now() - start;
}

// The least disturbed run: other work on the machine only ever adds time.
double best(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

std::vector<char> contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string in = (folder / "tunekiln-bench-in.wav").string();
  const std::string bareOut = (folder / "tunekiln-bench-bare.mp3").string();
  const std::string commandOut = (folder / "tunekiln-bench-command.mp3").string();
  write_test_file(in);

  std::FILE* discard = std::fopen("/dev/null", "w");
  EncoderConsole console{.err = discard, .out = discard};
  const auto command = [&] {
    SilentHost host(in, commandOut);
    if (SaveToMp3File(host, console).outcome != SaveOutcome::finished) {
      std::fprintf(stderr, "failed: %s\n", host.message.c_str());
    }
  };
  const auto bare = [&] { bare_loop(in, bareOut); };

  bare();  // warm the page cache
  // Taken in turns, so that whatever else the machine does weighs on both alike.
  std::vector<double> bareTimes, commandTimes;
  for (int run = 0; run < runs; ++run) {
    bareTimes.push_back(seconds_of(bare));
    commandTimes.push_back(seconds_of(command));
  }
  const double bareSeconds = best(bareTimes);
  const double commandSeconds = best(commandTimes);
  const bool identical = contents(bareOut) == contents(commandOut);

  std::printf("| encoder (10 min, 44.1 kHz stereo, best of %d) | processor seconds | times real time | ratio to bare loop |\n", runs);
  std::printf("|---|---:|---:|---:|\n");
  std::printf("| bare libmp3lame loop | %.2f | %.1f | 1.000 |\n", bareSeconds, kSeconds / bareSeconds);
  std::printf("| Save to MP3 | %.2f | %.1f | %.3f |\n", commandSeconds, kSeconds / commandSeconds,
              commandSeconds / bareSeconds);
  std::printf("\nMP3 bytes identical: %s\n", identical ? "yes" : "NO");

  std::fclose(discard);
  for (const auto& path : {in, bareOut, commandOut}) std::filesystem::remove(path);
  return identical ? 0 : 1;
}
