#pragma once

#include <optional>
#include <string>

#include "cli/file_runs.h"
#include "cli/loudness_target.h"
#include "cli/terminal_status.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/operation_result.h"
#include "wavproc/wav_process_host.h"

namespace tunekiln {

inline constexpr std::string_view kLargestMultipleEntry = "max";

// The host of a file operation started from the command line: the paths and parameters come
// from the arguments, the progress is a bar on a terminal, and the operation's result ends on
// standard output or standard error with an exit status.
class CommandLineHost final : public WavProcessHost {
 public:
  explicit CommandLineHost(FilePair files) : files_(std::move(files)) {}

  // The text typed for the volume dialog's factor; kLargestMultipleEntry asks for the largest
  // multiple that does not clip the input.
  void setVolumeEntry(std::string entry) { volumeEntry_ = std::move(entry); }
  // In place of an entry: the multiple that brings the input to a loudness target, from a pass
  // over it, or from `albumGain` when the album's inputs were measured together.
  void setLoudnessTarget(LoudnessTarget target, std::optional<TargetGain> albumGain = std::nullopt) {
    target_ = target;
    gain_ = albumGain;
  }
  // What the cut dialog would give.
  void setCutRange(CutRange range) { cutRange_ = range; }

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return files_.input; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return files_.output; }
  // There is no dialog to stay open: a refused entry cancels the operation, and its message is
  // the one reported.
  bool askVolumeMultiple() override;
  bool askCutTimes() override {
    g_cutRange = cutRange_;
    return true;
  }
  // Warns and goes on: a script asked for this file.
  bool confirmSilentResult(std::optional<double>& keepBassHz) override;
  void setProgress(std::int32_t position) override;

  // Prints the result's message where it belongs and gives the exit status: 0 and the finish
  // message when the operation finished, 1 and the message with the file's fault otherwise.
  int report(const OperationResult& result);

 private:
  bool takeTargetMultiple();

  FilePair files_;
  std::optional<std::string> volumeEntry_;
  CutRange cutRange_;
  std::optional<LoudnessTarget> target_;
  std::optional<TargetGain> gain_;
  std::string refusal_;  // the message of a refused entry or target
  std::optional<FileFault> refusalFault_;
  TerminalStatusLine statusLine_;
  int shownPercent_ = -1;
};

}  // namespace tunekiln
