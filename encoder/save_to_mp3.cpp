#include "encoder/save_to_mp3.h"

#include <lame/lame.h>
#include <sched.h>
#include <sys/sysinfo.h>

#include <memory>

#include "encoder/activity_mode.h"
#include "encoder/encoder_texts.h"
#include "encoder/encoding_loop.h"

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

// The window shows the reader's text without its line break; the command line prints it.
SaveToMp3Result input_failed(SaveToMp3Host& host, AudioInput& input) {
  input.inputStream.reset();  // closing it cannot add to what already went wrong
  std::string_view text = input.failure->text;
  if (text.ends_with('\n')) text.remove_suffix(1);
  host.showMessage(text);
  return {SaveOutcome::failed, input.failure->exitStatus, input.failure->reason};
}

}  // namespace

SaveToMp3Result SaveToMp3File(SaveToMp3Host& host, EncoderConsole& console, const Mp3Settings& settings) {
  activityMode = MODE_ENCODING;  // also when a dialog is cancelled
  const auto inputPath = host.chooseInputFile(kWavFileDialog);
  if (!inputPath) return {SaveOutcome::cancelled, 0};
  const auto outputPath = host.chooseOutputFile(kMp3FileDialog);
  if (!outputPath) return {SaveOutcome::cancelled, 0};
  allow_every_processor();

  AudioInput input{.messages = console.err};  // every conversion detects its input anew
  const Encoder encoder(lame_init());
  if (!encoder) {
    std::fputs(texts::kInitFailedLine, console.err);
    return {SaveOutcome::failed, 1};
  }
  auto output = open_conversion_files(host, input, encoder.get(), *inputPath, *outputPath, console);
  if (!output) {
    if (input.failure || !close_audio_input(input)) return input_failed(host, input);
    return {SaveOutcome::failed, 1};
  }

  apply_mp3_settings(encoder.get(), settings);
  // A sample rate without an integer value is refused here, as the library refuses its own.
  const int parameters = input.sampleRateUsable ? lame_init_params(encoder.get()) : -1;
  if (parameters < 0) {
    if (parameters == -1) print_bitrate_table(console.err);
    output.reset();
    if (!close_audio_input(input)) return input_failed(host, input);
    host.showMessage(texts::kInitFailed);
    return {SaveOutcome::failed, 1};
  }

  prepare_console_output(console);
  const EncodeResult encoded = encode_to_mp3(host, encoder.get(), input, output->stream(), console);
  // After a failure the file is dropped, so it gets no tag.
  if (encoded == EncodeResult::finished) write_lame_tag(encoder.get(), output->stream(), console);
  const bool written = output->closeStream() && encoded == EncodeResult::finished;
  if (encoded == EncodeResult::inputFailed || !close_audio_input(input)) return input_failed(host, input);
  if (!written || !output->commit()) {
    host.showMessage(texts::kOutputWriteFailed);
    return {SaveOutcome::failed, 1};
  }
  host.showMessage(texts::kFinished);
  return {SaveOutcome::finished, 0};
}

}  // namespace tunekiln
