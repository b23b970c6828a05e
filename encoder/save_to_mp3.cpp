#include "encoder/save_to_mp3.h"

#include <lame/lame.h>
#include <sched.h>
#include <sys/sysinfo.h>

#include <cerrno>
#include <memory>

#include "encoder/encoder_texts.h"
#include "encoder/encoding_loop.h"
#include "encoder/mp3_output.h"
#include "encoder/replay_gain_tag.h"
#include "encoder/text_format.h"
#include "platform/input_file.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

struct EncoderCloser {
  void operator()(lame_global_flags* encoder) const { lame_close(encoder); }
};
using Encoder = std::unique_ptr<lame_global_flags, EncoderCloser>;

// The encoding thread may run on every processor the system has, whatever it inherited.
void allow_every_processor() {
  const int processors = ::get_nprocs_conf();
  cpu_set_t* set = CPU_ALLOC(processors);
  if (set == nullptr) return;
  const std::size_t size = CPU_ALLOC_SIZE(processors);
  CPU_ZERO_S(size, set);
  for (int cpu = 0; cpu < processors; ++cpu) CPU_SET_S(cpu, size, set);
  ::sched_setaffinity(0, size, set);  // offline processors are left out by the system; the result does not matter
  CPU_FREE(set);
}

// The reader's texts end in a line break; the user's text is one line without it.
std::string without_line_break(std::string text) {
  if (text.ends_with('\n')) text.pop_back();
  return text;
}

SaveToMp3Result input_failed(const AudioInput& input) {
  const InputFailure& failure = *input.failure;
  return {SaveToMp3Status::inputFailed, without_line_break(failure.text), failure.reason};
}

// The input's own tags fill in what the settings leave empty.
Mp3Settings with_input_tags(Mp3Settings settings, const InfoTags& found) {
  Mp3Tags& tags = settings.tags;
  for (const auto& [chosen, fromFile] : {std::pair{&tags.title, &found.title}, {&tags.artist, &found.artist},
                                         {&tags.album, &found.album}, {&tags.year, &found.year},
                                         {&tags.track, &found.track}, {&tags.comment, &found.comment}}) {
    if (chosen->empty()) *chosen = *fromFile;
  }
  return settings;
}

SaveToMp3Result output_failed(std::string text, int error, std::string consoleDetail = {}) {
  return {SaveToMp3Status::outputFailed, without_line_break(std::move(text)), {}, error, std::move(consoleDetail)};
}

// A meter for the samples as the encoder is given them; nothing for a format it does not take.
std::optional<LoudnessMeter> replay_gain_meter(lame_t encoder, const AudioInput& input) {
  const auto format = PcmFormat::make(static_cast<std::uint32_t>(lame_get_in_samplerate(encoder)),
                                      static_cast<std::uint16_t>(lame_get_num_channels(encoder)),
                                      input.realSamples() ? SampleEncoding::float32 : SampleEncoding::signed32);
  return format ? LoudnessMeter::make(*format) : std::nullopt;
}

// The values into the tag, and a line for the user; false when the file would not take them.
bool write_replay_gain(std::FILE* mp3, const std::optional<LoudnessMeter>& meter, EncoderConsole& console) {
  const auto values = meter ? replay_gain(meter->result()) : std::variant<ReplayGain, Unmeasured>(Unmeasured::tooShort);
  const ReplayGain* found = std::get_if<ReplayGain>(&values);
  if (found != nullptr) {
    std::fprintf(console.out, "ReplayGain: track gain %s, peak %s\n", replay_gain_text(found->trackGainDb).c_str(),
                 replay_gain_peak_text(found->trackPeak).c_str());
  } else {
    std::fprintf(console.err, "ReplayGain: the input is %s, so it has no track gain\n",
                 std::get<Unmeasured>(values) == Unmeasured::silent ? "silent" : "too short to measure");
  }
  return fill_replay_gain_tag(mp3, found != nullptr ? std::optional(*found) : std::nullopt);
}

}  // namespace

SaveToMp3Result SaveToMp3File(SaveToMp3Host& host, EncoderConsole& console, const Mp3Settings& settings) {
  const auto inputPath = host.chooseInputFile(kSoundInputDialog);
  if (!inputPath) return {SaveToMp3Status::cancelled};
  const auto outputPath = host.chooseOutputFile(kMp3FileDialog);
  if (!outputPath) return {SaveToMp3Status::cancelled};
  allow_every_processor();

  const Encoder encoder(lame_init());
  if (!encoder) return {SaveToMp3Status::encoderNotStarted, std::string(texts::kInitFailed)};
  if (is_same_file(*inputPath, *outputPath)) return output_failed(texts::kSameFile, 0);
  AudioInput input{.messages = console.err};  // every conversion detects its input anew
  // The input is parsed before the output exists, so a refused input leaves no file.
  if (!open_audio_input(input, encoder.get(), *inputPath)) return input_failed(input);
  auto output = Mp3Output::open(*outputPath);
  if (!output) return output_failed(format_text(texts::kCannotInitOutfile, outputPath->c_str()), errno);

  // A tag is never worth failing the encoding for: what does not fit is cut, and the user told.
  for (const std::string& cut : apply_mp3_settings(encoder.get(), with_input_tags(settings, input.tags))) {
    std::fputs(format_text(texts::kTagCut, cut.c_str()).c_str(), console.err);
  }
  // A sample rate without an integer value is refused here, as the library refuses its own.
  const int parameters = input.sampleRateUsable ? lame_init_params(encoder.get()) : -1;
  if (parameters < 0) {
    output.reset();
    const auto status = parameters == -1 ? SaveToMp3Status::settingsRefused : SaveToMp3Status::encoderNotStarted;
    return {status, std::string(texts::kInitFailed)};
  }

  std::optional<LoudnessMeter> meter;
  if (settings.replayGain) meter = replay_gain_meter(encoder.get(), input);
  prepare_console_output(console);
  const EncodeResult encoded =
      encode_to_mp3(host, encoder.get(), input, output->stream(), console, meter ? &*meter : nullptr);
  bool finished = encoded.status == EncodeStatus::finished;
  // After a failure the file is dropped, so it gets no tag.
  if (finished) write_lame_tag(encoder.get(), output->stream(), console);
  if (finished && settings.replayGain) finished = write_replay_gain(output->stream(), meter, console);
  const bool written = output->closeStream() && finished;
  if (encoded.status == EncodeStatus::inputFailed) return input_failed(input);
  if (!written || !output->commit()) {
    // The library's failure is no file's: whatever errno a call before it left names no reason.
    const int error = encoded.status == EncodeStatus::libraryFailed ? 0 : errno;
    return output_failed(std::string(texts::kOutputWriteFailed), error, encoded.consoleDetail);
  }
  return {SaveToMp3Status::finished, std::string(texts::kFinished)};
}

}  // namespace tunekiln
