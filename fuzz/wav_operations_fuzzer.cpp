// The four WAV operations (both channels of the extraction) on one input held in memory, with a
// user who picks the output and answers the volume and cut dialogs from the input's last bytes.
// Beyond what the sanitizers catch, every run must end the way it says: a finished operation
// leaves its output and has a message, and that output reads as a WAVE file again; a failed one
// has a message and leaves no file, a cancelled one neither.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "audiofile/wave_header.h"
#include "fuzz/scratch_folder.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_operations.h"

namespace tunekiln::fuzz {
namespace {

// The byte `back` places from the end, or 0 when the input is shorter.
std::uint8_t byte_from_end(std::span<const std::uint8_t> bytes, std::size_t back) {
  return back < bytes.size() ? bytes[bytes.size() - 1 - back] : 0;
}

class SilentHost final : public WavProcessHost {
 public:
  SilentHost(std::string input, std::string output, std::span<const std::uint8_t> bytes)
      : input_(std::move(input)), output_(std::move(output)), bytes_(bytes) {}

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return input_; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return output_; }

  // Up to six characters of digits and points; an entry the dialog refuses stands for Cancel.
  bool askVolumeMultiple() override {
    std::string entry;
    const std::size_t length = byte_from_end(bytes_, 0) % 7;
    for (std::size_t back = 1; back <= length; ++back) entry += "0123456789."[byte_from_end(bytes_, back) % 11];
    return accept_volume_entry(entry);
  }

  bool askCutTimes() override {
    CutEntries entries;
    for (int field = 0; field < kCutFieldCount; ++field) {
      const int limit = field == kStartHours || field == kEndHours ? kMaxHours : kMaxMinutesOrSeconds;
      entries[static_cast<std::size_t>(field)] =
          std::to_string(byte_from_end(bytes_, static_cast<std::size_t>(field)) % (limit + 1));
    }
    return accept_cut_entries(entries).accepted;
  }

  void setProgress(std::int32_t) override {}

 private:
  std::string input_;
  std::string output_;
  std::span<const std::uint8_t> bytes_;
};

void check(bool condition) {
  if (!condition) std::abort();
}

template <typename Operation>
void run(const std::string& output, std::span<const std::uint8_t> bytes, Operation operation) {
  SilentHost host("in.wav", output, bytes);
  const MemoryByteReader input(bytes);
  const OperationResult result = operation(host, &input);
  const bool finished = result.outcome == Outcome::finished;
  check(result.message.empty() == (result.outcome == Outcome::cancelled));
  check(std::filesystem::exists(output) == finished);
  check(scratch_entry_count() == (finished ? 1u : 0u));  // no temporary file is left behind
  if (!finished) return;
  const auto written = InputFile::open(output);
  check(written && read_wave_header(FileByteReader(*written)).result == AudioFileResult::ok);
  ::unlink(output.c_str());
}

}  // namespace
}  // namespace tunekiln::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using namespace tunekiln::fuzz;
  const std::string output = scratch_folder() + "/out.wav";
  const std::span<const std::uint8_t> bytes(data, size);
  run(output, bytes, [](WavProcessHost& host, const ByteReader* input) {
    return ExtractChannel(host, Channel::left, input);
  });
  run(output, bytes, [](WavProcessHost& host, const ByteReader* input) {
    return ExtractChannel(host, Channel::right, input);
  });
  run(output, bytes, [](WavProcessHost& host, const ByteReader* input) { return ClearVoice(host, input); });
  run(output, bytes, [](WavProcessHost& host, const ByteReader* input) { return ChangeVolume(host, input); });
  run(output, bytes, [](WavProcessHost& host, const ByteReader* input) { return CutByTime(host, input); });
  return 0;
}
