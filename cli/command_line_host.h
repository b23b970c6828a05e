#pragma once

#include <optional>
#include <string>

#include "cli/terminal_status.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/wav_job.h"
#include "wavproc/wav_process_host.h"

namespace tunekiln {

// The host of a file operation started from the command line: the paths and parameters come
// from the arguments, the progress is a bar on a terminal, the message is kept for the end.
class CommandLineHost final : public WavProcessHost {
 public:
  CommandLineHost(std::string input, std::string output) : input_(std::move(input)), output_(std::move(output)) {}

  // The text typed for the volume dialog's factor.
  void setVolumeEntry(std::string entry) { volumeEntry_ = std::move(entry); }
  // The texts of the cut dialog's six fields.
  void setCutEntries(CutEntries entries) { cutEntries_ = std::move(entries); }

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return input_; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return output_; }
  // There is no dialog to stay open: a refused entry ends the operation with its message.
  bool askVolumeMultiple() override;
  bool askCutTimes() override;
  void showMessage(std::string_view text) override { message_ = text; }
  void showFailure(std::string_view message, const FailureReason& reason) override;
  void setProgress(std::int32_t position) override;

  // Prints the message where it belongs and gives the exit status: 0 and standard output
  // when the operation finished, 1 and standard error otherwise, with the reason of a failure
  // on a line of its own.
  int report(Outcome outcome);

 private:
  std::string input_;
  std::string output_;
  std::optional<std::string> volumeEntry_;
  std::optional<CutEntries> cutEntries_;
  std::string message_;
  std::string reasonLine_;
  TerminalStatusLine statusLine_;
  int shownPercent_ = -1;
};

}  // namespace tunekiln
