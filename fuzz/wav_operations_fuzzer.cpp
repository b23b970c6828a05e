// The four WAV operations on one input held in memory, with a user who picks the output and
// answers the volume and cut dialogs from the input's last bytes. Beyond what the sanitizers
// catch, every run must end the way it says: a finished operation leaves its output and has a
// message, and that output reads as a WAVE file again; a failed one has a message and leaves no
// file, a cancelled one neither.
#include <filesystem>
#include <iterator>
#include <span>
#include <string>

#include "audiofile/wave_header.h"
#include "fuzz/fuzz_checks.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_operations.h"

namespace tunekiln::fuzz {
namespace {

namespace fs = std::filesystem;

// A folder of the process's own, in memory where the system offers it; removed at a normal exit.
const fs::path kFolder = [] {
  std::string pattern = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
  pattern += "/tunekiln-fuzz-XXXXXX";
  check(::mkdtemp(pattern.data()) != nullptr && std::atexit([] { fs::remove_all(kFolder); }) == 0);
  return fs::path(pattern);
}();
const fs::path kOutput = kFolder / "out.wav";

class SilentHost final : public WavProcessHost {
 public:
  explicit SilentHost(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return "in.wav"; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return kOutput; }
  // Up to six characters of digits and points; an entry the dialog refuses stands for Cancel.
  bool askVolumeMultiple() override {
    std::string entry;
    for (std::size_t back = 1; back <= fromEnd(0) % 7; ++back) entry += "0123456789."[fromEnd(back) % 11];
    return accept_volume_entry(entry);
  }
  // Every field up to 23, which every field takes.
  bool askCutTimes() override {
    CutEntries entries;
    for (std::size_t i = 0; i < kCutFieldCount; ++i) entries[i] = std::to_string(fromEnd(i) % 24);
    return accept_cut_entries(entries).accepted;
  }
  void setProgress(std::int32_t) override {}

 private:
  // The byte `back` places from the end, or 0 when the input is shorter.
  std::uint8_t fromEnd(std::size_t back) const { return back < bytes_.size() ? bytes_.rbegin()[back] : 0; }

  std::span<const std::uint8_t> bytes_;
};

}  // namespace
}  // namespace tunekiln::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  namespace fs = std::filesystem;
  using fuzz::check;
  const std::span<const std::uint8_t> bytes(data, size);
  const MemoryByteReader input(bytes);
  OperationResult (*const operations[])(WavProcessHost&, const ByteReader*) = {
      [](WavProcessHost& host, const ByteReader* in) { return ExtractChannel(host, Channel::left, in); },
      [](WavProcessHost& host, const ByteReader* in) { return ClearVoice(host, in); },
      ChangeVolume, CutByTime};
  for (const auto operation : operations) {
    fuzz::SilentHost host(bytes);
    const OperationResult result = operation(host, &input);
    const bool finished = result.outcome == Outcome::finished;
    check(result.message.empty() == (result.outcome == Outcome::cancelled));
    // The output, and no temporary file, when finished; nothing otherwise.
    const fs::directory_iterator entries(fuzz::kFolder);
    check(std::distance(begin(entries), end(entries)) == (finished ? 1 : 0));
    if (!finished) continue;
    const auto written = InputFile::open(fuzz::kOutput);
    check(written && read_wave_header(FileByteReader(*written)).result == AudioFileResult::ok);
    fs::remove(fuzz::kOutput);
  }
  return 0;
}
