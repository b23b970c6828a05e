#include "cli/engine_commands.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/engine_session.h"
#include "cli/file_runs.h"
#include "cli/reporting.h"
#include "cli/terminal_status.h"
#include "engine/player.h"
#include "engine/mp3_chunked_decode.h"
#include "engine/player_engine.h"
#include "engine/standard_slots.h"
#include "engine/wav_file_writer.h"
#include "platform/input_file.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

constexpr std::int32_t kWavFileWriterSlot = 2;

// The destination prompt of a decoding started from the command line: OUT the first time. The
// writer asks again only when OUT could not be opened; then the answer is Cancel, which ends
// the decoding, and the failure is kept for the end with errno of the call that failed.
class CommandLineDestination final : public WavWriterHost {
 public:
  explicit CommandLineDestination(std::string path) : path_(std::move(path)) {}

  std::optional<std::string> chooseDestination() override {
    if (asked_) {
      error_ = errno;
      return std::nullopt;
    }
    asked_ = true;
    return path_;
  }

  // Read after the engine has reported STOPPED, which orders it after the engine's writes.
  bool failed() const { return error_.has_value(); }
  int error() const { return error_.value_or(0); }

 private:
  std::string path_;
  bool asked_ = false;
  std::optional<int> error_;  // errno of the opening that failed
};

// The decoders and the WAV file writer only: decoding plays nothing, so it neither reaches
// for the sound server nor opens the mixer.
EngineSlots decoding_slots(WavWriterHost& destination, unsigned int mp3Threads) {
  EngineSlots slots{.decoders = standard_decoders(mp3Threads)};
  slots.outputs[kWavFileWriterSlot] = std::make_unique<WavFileWriter>(destination);
  return slots;
}

int decode(const FilePair& files, unsigned int jobs) {
  const auto input = InputFile::open(files.input);
  if (!input) return report_failure(kOpenInputError, errno_fault(files.inputName, errno));
  // Checked before anything is written, as the output must never replace the input.
  if (is_same_file(files.input, files.output)) return report_failure(wav_texts::kSameFile);

  CommandLineDestination destination(files.output);
  TerminalStatusLine statusLine;
  std::optional<PlayerNotification> failure;
  // Standard input keeps the one-thread road.
  const unsigned int threads = files.inputName == "-" ? 1 : decoding_threads(jobs);
  {
    EngineSession session([&destination, threads] { return decoding_slots(destination, threads); });
    if (const auto refusal = session.open(files.input)) return fail_unrecognized(*refusal, files.inputName);
    failure = session.run(kWavFileWriterSlot, [&statusLine](const PlayerNotification& notification) {
      if (notification.number == PLAYER_NTF_POSITION && !reporting().quiet) {
        statusLine.show(clock_text(notification.first) + " / " + clock_text(totalSeconds));
      }
    });
  }  // the engine thread has ended
  statusLine.clear();
  if (destination.failed()) {
    return report_failure(wav_texts::kOpenOutputError, errno_fault(files.outputName, destination.error()));
  }
  return report_engine_failure(failure, files.inputName, files.outputName);
}

std::string info_text(const StreamInfo& stream, const char* decoder, const char* lengthSource, bool json) {
  using Field = std::pair<const char*, std::string>;
  const auto number = [](std::int32_t value) { return std::to_string(value); };
  // The file's own sample width comes behind the lines of the decoder's stream.
  const Field fields[] = {{"lengthSeconds", number(stream.lengthSeconds)},
                          {"bitrateKbps", number(stream.bitrateKbps)},
                          {"sampleRate", number(stream.sampleRate)},
                          {"stereo", number(stream.stereo)},
                          {"sixteenBit", number(stream.sixteenBit)},
                          {"decoder", json ? "\"" + std::string(decoder) + "\"" : std::string(decoder)},
                          {"bitsPerSample", number(stream.bitsPerSample)},
                          {"float", number(stream.floatSamples)},
                          {"lengthSource", json ? "\"" + std::string(lengthSource) + "\"" : std::string(lengthSource)}};
  std::string text;
  for (const auto& [name, value] : fields) {
    text += json ? (text.empty() ? "{\"" : ", \"") + std::string(name) + "\": " + value
                 : std::string(name) + "=" + value + "\n";
  }
  return json ? text + "}\n" : text;
}

int info(const FilePair& files, bool json) {
  if (!InputFile::open(files.input)) return report_failure(kOpenInputError, errno_fault(files.inputName, errno));
  auto decoders = standard_decoders();
  const DecoderChoice choice = choose_decoder(decoders, files.input);
  if (!choice.slot) return fail_unrecognized(choice.refusal, files.inputName);
  Decoder& decoder = *decoders[*choice.slot];
  decoder.settleLength();
  const std::string text = info_text(decoder.getInfo(), decoder.name(), decoder.lengthSource(), json);
  decoder.close();
  std::fputs(text.c_str(), stdout);
  return 0;
}

const FileOperation::InputText kOpenInputText = [](const std::string&) { return std::string(kOpenInputError); };

}  // namespace

void add_engine_commands(CLI::App& app, int& status) {
  auto arguments = std::make_shared<FileArguments>();
  auto* decode_command = app.add_subcommand(
      "decode", "Decode an MP3, WAV, FLAC, Ogg Vorbis or Opus file into a 16- or 8-bit PCM WAV file");
  add_file_arguments(*decode_command, *arguments);
  // Here --jobs are the threads that decode one MP3 file, with or without an output folder; the
  // files of a batch go one after another, as the dither carries its state from one to the next.
  decode_command->get_option("--jobs")
      ->description("threads that decode an MP3 file, at most one per core; default: every core")
      ->remove_needs(decode_command->get_option("--output-dir"));
  decode_command->callback([&status, arguments] {
    const auto run = [arguments](const FilePair& files) { return decode(files, arguments->jobs); };
    status = run_file_operation(
        *arguments, {.outputExtension = ".wav", .openInputText = kOpenInputText, .run = run, .oneAtATime = true});
  });

  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto* info_command =
      app.add_subcommand("info", "Show the length and format of an MP3, WAV, FLAC, Ogg Vorbis or Opus file");
  info_command->add_option("FILE", *file, "MP3, WAV, FLAC, Ogg Vorbis or Opus file; - is standard input")->required();
  info_command->add_flag("--json", *json, "one JSON object instead of name=value lines");
  info_command->callback([&status, file, json] {
    status = run_input_operation(*file, kOpenInputText, [json](const FilePair& files) { return info(files, *json); });
  });
}

}  // namespace tunekiln
