#include "cli/command_line_host.h"

#include <cerrno>

#include "cli/reporting.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {

bool CommandLineHost::askVolumeMultiple() {
  if (volumeEntry_ && accept_volume_entry(*volumeEntry_)) return true;
  showMessage(wav_texts::kEntryError);
  return false;
}

bool CommandLineHost::askCutTimes() {
  const auto verdict = accept_cut_entries(cutEntries_.value_or(CutEntries{"0", "0", "0", "0", "0", "0"}));
  if (!verdict.accepted) showMessage(verdict.message);
  return verdict.accepted;
}

void CommandLineHost::showMessage(std::string_view text) {
  error_ = errno;
  message_ = text;
}

void CommandLineHost::showFailure(std::string_view message, const FailureReason& reason) {
  showMessage(message);
  reason_ = reason.cause;
}

void CommandLineHost::setProgress(std::int32_t position) {
  if (reporting().quiet) return;
  const int percent = position / 10000;
  if (percent == shownPercent_) return;  // redraw only what a reader can see change
  shownPercent_ = percent;
  statusLine_.show(progress_bar_text(position));
}

int CommandLineHost::report(Outcome outcome) {
  statusLine_.clear();
  if (outcome == Outcome::finished) {
    report_finished(message_);
    return 0;
  }
  std::optional<FileFault> fault;
  if (!reason_.empty()) {
    fault = FileFault{files_.inputName, reason_};
  } else if (message_ == wav_texts::kOpenInputError) {
    fault = errno_fault(files_.inputName, error_);
  } else if (message_ == wav_texts::kOpenOutputError || message_ == wav_texts::kWriteError) {
    fault = errno_fault(files_.outputName, error_);
  }
  return report_failure(message_, fault);
}

}  // namespace tunekiln
