#include "cli/command_line_host.h"

#include "audiofile/wave_header.h"
#include "cli/reporting.h"
#include "platform/input_file.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {

namespace {

// The largest multiple that does not clip the input, in the entry's own form, found by a pass
// over the samples; nothing when they cannot be read.
std::optional<std::string> largest_multiple_entry(const std::string& path) {
  const auto file = InputFile::open(path);
  if (!file) return std::nullopt;
  const FileByteReader reader(*file);
  const WaveParse parse = read_wave_header(reader);
  if (!parse.header) return std::nullopt;
  const auto analysis = analyse_pcm(reader, *parse.header);
  if (!analysis) return std::nullopt;
  // A silent file clips at no multiple: it stays as it is.
  return multiple_entry_text(largest_unclipped_multiple(*analysis, parse.header->format.encoding()).value_or(1.0));
}

}  // namespace

bool CommandLineHost::askVolumeMultiple() {
  if (target_) return takeTargetMultiple();
  if (volumeEntry_ == kLargestMultipleEntry) {
    const auto entry = largest_multiple_entry(files_.input);
    if (!entry) {
      refusal_ = wav_texts::kReadError;
      return false;
    }
    if (!reporting().quiet) report_note("The largest multiple that does not clip: " + *entry);
    volumeEntry_ = *entry;
  }
  if (volumeEntry_ && accept_volume_entry(*volumeEntry_)) return true;
  refusal_ = wav_texts::kEntryError;
  return false;
}

bool CommandLineHost::takeTargetMultiple() {
  if (!gain_) {
    auto measured = measure_target_gain(files_.input, files_.inputName, *target_);
    if (auto* refusal = std::get_if<TargetRefusal>(&measured)) {
      refusal_ = std::move(refusal->message);
      refusalFault_ = std::move(refusal->fault);
      return false;
    }
    gain_ = std::get<TargetGain>(measured);
  }
  if (!reporting().quiet) std::fprintf(stderr, "%s\n", target_gain_note(*gain_, *target_).c_str());
  g_volumeMultiple = target_multiple(*gain_);
  return true;
}

bool CommandLineHost::confirmSilentResult(std::optional<double>&) {
  if (!reporting().quiet) {
    report_note("Warning: " + files_.inputName + ": the two channels are identical, so the result is silence.");
  }
  return true;
}

void CommandLineHost::setProgress(std::int32_t position) {
  if (reporting().quiet || held_messages() != nullptr) return;  // a batch shows one line for all
  const int percent = position / 10000;
  if (percent == shownPercent_) return;  // redraw only what a reader can see change
  shownPercent_ = percent;
  statusLine_.show(progress_bar_text(position));
}

int CommandLineHost::report(const OperationResult& result) {
  statusLine_.clear();
  switch (result.outcome) {
    case Outcome::finished:
      // The finish message says so when a peak kept the file below its target.
      if (target_ && gain_->loweredForPeak) {
        report_finished(result.message + "\n" + target_lowered_line(*gain_, target_->lufs, target_->ceilingDbtp));
      } else {
        report_finished(result.message);
      }
      return 0;
    case Outcome::cancelled:  // no dialog here is cancelled but by a refused entry or target
      return report_failure(refusal_, refusalFault_);
    case Outcome::failed:
      break;
  }
  std::optional<FileFault> fault;
  if (const auto& reason = result.reason) {
    fault = FileFault{reason->file == FailedFile::input ? files_.inputName : files_.outputName, reason->cause};
  }
  return report_failure(result.message, fault);
}

}  // namespace tunekiln
