#include "cli/command_line_host.h"

#include <cstdio>

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

void CommandLineHost::showFailure(std::string_view message, const FailureReason& reason) {
  message_ = message;
  reasonLine_ = reason.cause.empty() ? std::string() : reason.file + ": " + reason.cause;
}

void CommandLineHost::setProgress(std::int32_t position) {
  const int percent = position / 10000;
  if (percent == shownPercent_) return;  // redraw only what a reader can see change
  shownPercent_ = percent;
  statusLine_.show(progress_bar_text(position));
}

int CommandLineHost::report(Outcome outcome) {
  statusLine_.clear();
  const bool finished = outcome == Outcome::finished;
  if (!message_.empty()) std::fprintf(finished ? stdout : stderr, "%s\n", message_.c_str());
  if (!finished && !reasonLine_.empty()) std::fprintf(stderr, "%s\n", reasonLine_.c_str());
  return finished ? 0 : 1;
}

}  // namespace tunekiln
