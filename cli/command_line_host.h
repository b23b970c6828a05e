#pragma once

#include <optional>
#include <string>

#include "cli/file_runs.h"
#include "cli/terminal_status.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/wav_job.h"
#include "wavproc/wav_process_host.h"

namespace tunekiln {

inline constexpr std::string_view kLargestMultipleEntry = "max";

// The host of a file operation started from the command line: the paths and parameters come
// from the arguments, the progress is a bar on a terminal, the message is kept for the end.
class CommandLineHost final : public WavProcessHost {
 public:
  explicit CommandLineHost(FilePair files) : files_(std::move(files)) {}

  // The text typed for the volume dialog's factor; kLargestMultipleEntry asks for the largest
  // multiple that does not clip the input.
  void setVolumeEntry(std::string entry) { volumeEntry_ = std::move(entry); }
  // The texts of the cut dialog's six fields.
  void setCutEntries(CutEntries entries) { cutEntries_ = std::move(entries); }

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return files_.input; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return files_.output; }
  // There is no dialog to stay open: a refused entry ends the operation with its message.
  bool askVolumeMultiple() override;
  bool askCutTimes() override;
  // Warns and goes on: a script asked for this file.
  bool confirmSilentResult(std::optional<double>& keepBassHz) override;
  // Called right after the call that failed, whose errno tells a file's fault why.
  void showMessage(std::string_view text) override;
  // The operation's own reason concerns the input, and wins over errno's.
  void showFailure(std::string_view message, const FailureReason& reason) override;
  void setProgress(std::int32_t position) override;

  // Prints the message where it belongs and gives the exit status: 0 and the finish message
  // when the operation finished, 1 and the message with the file's fault otherwise.
  int report(Outcome outcome);

 private:
  FilePair files_;
  std::optional<std::string> volumeEntry_;
  std::optional<CutEntries> cutEntries_;
  std::string message_;
  int error_ = 0;  // errno when the message was given
  std::string reason_;  // the operation's own, about the input
  TerminalStatusLine statusLine_;
  int shownPercent_ = -1;
};

}  // namespace tunekiln
