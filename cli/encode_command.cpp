#include "cli/encode_command.h"

#include <cstdio>
#include <memory>

#include "encoder/save_to_mp3.h"

namespace tunekiln {
namespace {

// The paths come from the arguments; the message is kept for the end. The encoder's own
// status line on standard error shows the progress.
class EncodeCommandHost final : public SaveToMp3Host {
 public:
  EncodeCommandHost(std::string input, std::string output) : input_(std::move(input)), output_(std::move(output)) {}

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return input_; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return output_; }
  // Save to MP3 has no parameter dialog.
  bool askVolumeMultiple() override { return false; }
  bool askCutTimes() override { return false; }
  void showMessage(std::string_view text) override { message_ = text; }
  void setProgress(std::int32_t) override {}
  void encodeProgress(int) override {}

  // The finish message on standard output, any other on standard error.
  int report(const SaveToMp3Result& result) const {
    if (!message_.empty()) {
      std::fprintf(result.outcome == SaveOutcome::finished ? stdout : stderr, "%s\n", message_.c_str());
    }
    if (!result.reason.empty()) std::fprintf(stderr, "%s: %s\n", input_.c_str(), result.reason.c_str());
    return result.exitStatus;
  }

 private:
  std::string input_;
  std::string output_;
  std::string message_;
};

struct EncodeArguments {
  std::string input;
  std::string output;
};

}  // namespace

void add_encode_command(CLI::App& app, int& status) {
  auto arguments = std::make_shared<EncodeArguments>();
  auto* command = app.add_subcommand("encode", "Save a WAV, AIFF or raw PCM file as an MP3 file");
  command->add_option("IN", arguments->input, "WAV, AIFF or raw 16-bit big-endian stereo file (never changed)")
      ->required();
  command->add_option("OUT", arguments->output, "MP3 file to write (replaced only by a complete result)")
      ->required();
  command->callback([&status, arguments] {
    EncodeCommandHost host(arguments->input, arguments->output);
    status = host.report(SaveToMp3File(host));
  });
}

}  // namespace tunekiln
