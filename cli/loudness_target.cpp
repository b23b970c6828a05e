#include "cli/loudness_target.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>

#include "audiofile/wave_header.h"
#include "cli/file_runs.h"
#include "engine/wave_view.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

constexpr std::string_view kNotMeasured = "The loudness of the file cannot be measured: nothing was written.";

// `subject`: "The file" or "The album".
TargetRefusal unmeasured(Unmeasured why, const std::string& subject, std::string name) {
  if (why == Unmeasured::silent) {
    return {subject + " is silent: no gain brings it to a loudness. Nothing was written.",
            {std::move(name), "no 400 ms block is louder than -70 LUFS"}};
  }
  return {subject + " is too short to measure its loudness: nothing was written.",
          {std::move(name), "shorter than one 400 ms block"}};
}

// The meter after a pass over a WAV file's samples, and for 8- and 16-bit files their histogram.
struct Measured {
  LoudnessMeter meter;
  std::optional<ClipCounter> counter;
};

std::variant<Measured, TargetRefusal> measure(const std::string& path, const std::string& name) {
  if (const std::string problem = input_problem(path); !problem.empty()) {
    return TargetRefusal{std::string(wav_texts::kOpenInputError), {name, problem}};
  }
  errno = 0;
  const WaveView input = open_wave_view(path);
  if (!input.reader && errno != 0) {
    return TargetRefusal{std::string(wav_texts::kOpenInputError), errno_fault(name, errno)};
  }
  if (!input.reader) return TargetRefusal{std::string(wav_texts::kUnrecognized), {name, input.reason}};
  const ByteReader& reader = *input.reader;
  const WaveParse parse = read_wave_header(reader);
  if (parse.result == AudioFileResult::readFailed) {
    return TargetRefusal{std::string(wav_texts::kReadError), errno_fault(name, errno)};
  }
  if (!parse.header) return TargetRefusal{std::string(wav_texts::kUnrecognized), {name, "not a WAV file it reads"}};
  PcmAnalyser analyser(parse.header->format);
  // The gain needs no range, and an album holds every file's meter at once.
  if (!analyser.measureLoudness(false)) {
    return TargetRefusal{std::string(kNotMeasured), {name, "the meter takes 1 to 64 channels at 16 Hz or more"}};
  }
  if (bytes_per_sample(parse.header->format.encoding()) <= 2) analyser.countForClipping();
  bool failed = false;
  if (!read_pcm_into(reader, *parse.header, analyser, {}, &failed)) {
    return TargetRefusal{std::string(wav_texts::kReadError), errno_fault(name, errno)};
  }
  return Measured{*analyser.takeLoudness(), analyser.clipCounter()};
}

// "change volume" truncates its products toward zero, which takes loudness from files of few
// steps (an 8-bit file loses a few tenths of a LU): of the gains to targets up to 3 LU higher,
// the one whose truncated result the samples' histogram puts nearest the first target, the
// ceiling still applied; its loudness reached is what is left after truncating.
TargetGain with_truncation(const LoudnessResult& file, const ClipCounter& counter, const LoudnessTarget& target,
                           const TargetGain& first) {
  const auto raised = [&](double extraLu) {
    TargetGain gain = std::get<TargetGain>(gain_to_target(file, target.lufs + extraLu, target.ceilingDbtp));
    gain.reachedLufs = gain.fromLufs + gain.db + 10 * std::log10(counter.keptPower(target_multiple(gain)));
    return gain;
  };
  // Truncated products never shrink as the gain grows: the reached loudness rises with the extra.
  double low = 0, high = 3;
  for (int step = 0; step < 40; ++step) {
    const double middle = (low + high) / 2;
    (raised(middle).reachedLufs < first.reachedLufs ? low : high) = middle;
  }
  const TargetGain below = raised(low), above = raised(high);
  return first.reachedLufs - below.reachedLufs < above.reachedLufs - first.reachedLufs ? below : above;
}

std::string signed_text(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%+.*f", decimals, value);
  return text;
}

}  // namespace

std::variant<TargetGain, TargetRefusal> measure_target_gain(const std::string& path, const std::string& name,
                                                            const LoudnessTarget& target) {
  auto measured = measure(path, name);
  if (auto* refusal = std::get_if<TargetRefusal>(&measured)) return std::move(*refusal);
  const Measured& file = std::get<Measured>(measured);
  const LoudnessResult loudness = file.meter.result();
  const auto gain = gain_to_target(loudness, target.lufs, target.ceilingDbtp);
  if (const auto* why = std::get_if<Unmeasured>(&gain)) return unmeasured(*why, "The file", name);
  if (!file.counter) return std::get<TargetGain>(gain);
  return with_truncation(loudness, *file.counter, target, std::get<TargetGain>(gain));
}

std::variant<TargetGain, TargetRefusal> measure_album_gain(const std::vector<std::string>& paths,
                                                           const LoudnessTarget& target) {
  std::vector<LoudnessMeter> meters;
  for (const std::string& path : paths) {
    auto measured = measure(path, shown_input_name(path));
    if (auto* refusal = std::get_if<TargetRefusal>(&measured)) return std::move(*refusal);
    meters.push_back(std::move(std::get<Measured>(measured).meter));
  }
  std::vector<const LoudnessMeter*> album;
  for (const LoudnessMeter& meter : meters) album.push_back(&meter);
  const auto gain = album_gain_to_target(album, target.lufs, target.ceilingDbtp);
  if (const auto* why = std::get_if<Unmeasured>(&gain)) {
    return unmeasured(*why, "The album", "every file");
  }
  return std::get<TargetGain>(gain);
}

std::string target_gain_note(const TargetGain& gain, const LoudnessTarget& target) {
  return "Loudness " + signed_text(gain.fromLufs, 2) + " LUFS, target " +
         signed_text(target.lufs, 2) + " LUFS: gain " + signed_text(gain.db, 2) + " dB";
}

}  // namespace tunekiln
