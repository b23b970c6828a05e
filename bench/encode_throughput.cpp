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

#include "bench/bench_support.h"
#include "encoder/save_to_mp3.h"

namespace {

using namespace tunekiln;

constexpr int kRate = 44100;
constexpr int kSeconds = 600;
constexpr int kHeaderBytes = 44;

class SilentHost final : public SaveToMp3Host {
 public:
  SilentHost(std::string in, std::string out) : in_(std::move(in)), out_(std::move(out)) {}
  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return in_; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return out_; }
  bool askVolumeMultiple() override { return false; }
  bool askCutTimes() override { return false; }
  void setProgress(std::int32_t) override {}
  void encodeProgress(int) override {}

 private:
  std::string in_, out_;
};



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
  bench::write_test_wav(in, kSeconds);

  std::FILE* discard = std::fopen("/dev/null", "w");
  EncoderConsole console{.err = discard, .out = discard};
  const auto command = [&] {
    SilentHost host(in, commandOut);
    const SaveToMp3Result result = SaveToMp3File(host, console);
    if (result.status != SaveToMp3Status::finished) std::fprintf(stderr, "failed: %s\n", result.text.c_str());
  };
  const auto bare = [&] { bare_loop(in, bareOut); };

  bare();  // warm the page cache
  const double bareSeconds = bench::median_seconds(runs, bare, bench::Clock::processor);
  const double commandSeconds = bench::median_seconds(runs, command, bench::Clock::processor);
  const bool identical = contents(bareOut) == contents(commandOut);

  std::printf("| encoder (10 min, 44.1 kHz stereo, median of %d) | processor seconds | times real time | ratio to bare loop |\n", runs);
  std::printf("|---|---:|---:|---:|\n");
  std::printf("| bare libmp3lame loop | %.2f | %.1f | 1.000 |\n", bareSeconds, kSeconds / bareSeconds);
  std::printf("| Save to MP3 | %.2f | %.1f | %.3f |\n", commandSeconds, kSeconds / commandSeconds,
              commandSeconds / bareSeconds);
  std::printf("\nMP3 bytes identical: %s\n", identical ? "yes" : "NO");

  std::fclose(discard);
  for (const auto& path : {in, bareOut, commandOut}) std::filesystem::remove(path);
  return identical ? 0 : 1;
}
