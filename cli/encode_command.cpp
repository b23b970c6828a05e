#include "cli/encode_command.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "cli/file_runs.h"
#include "cli/reporting.h"
#include "encoder/encoder_texts.h"
#include "encoder/save_to_mp3.h"
#include "encoder/text_format.h"
#include "platform/input_file.h"

namespace tunekiln {
namespace {

// The paths come from the arguments. The encoder's own status line on standard error shows
// the progress.
class EncodeCommandHost final : public SaveToMp3Host {
 public:
  explicit EncodeCommandHost(FilePair files) : files_(std::move(files)) {}

  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return files_.input; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return files_.output; }
  // Save to MP3 has no parameter dialog, and tells how it ended in its result.
  bool askVolumeMultiple() override { return false; }
  bool askCutTimes() override { return false; }
  void setProgress(std::int32_t) override {}
  void encodeProgress(int) override {}

 private:
  FilePair files_;
};

// The encoder's own account of a failure goes where its status line went; the failure itself
// to standard error, with the file at fault under it.
int report(const SaveToMp3Result& result, const FilePair& files, EncoderConsole& console) {
  switch (result.status) {
    case SaveToMp3Status::finished:
      report_finished(result.text);
      return 0;
    case SaveToMp3Status::inputFailed:
      return report_failure(result.text, FileFault{files.inputName, result.reason});
    case SaveToMp3Status::outputFailed:
      std::fputs(result.consoleDetail.c_str(), console.err);
      return report_failure(result.text, errno_fault(files.outputName, result.outputError));
    case SaveToMp3Status::settingsRefused:
      print_bitrate_table(console.err);
      return report_failure(result.text);
    case SaveToMp3Status::cancelled:  // there is no dialog to cancel here
    case SaveToMp3Status::encoderNotStarted:
      break;
  }
  return report_failure(result.text);
}

struct EncodeArguments {
  FileArguments files;
  Mp3Settings settings;
};

// What a console file took in, from its start.
std::string console_text(std::FILE* file) {
  std::string text;
  std::fflush(file);
  std::rewind(file);
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, got);
  return text;
}

// Beside other files: a console of its own, without the status line, whose texts are kept with
// the file's other messages, ahead of the finish or failure they come before.
int encode_beside_others(const FilePair& files, const Mp3Settings& settings, HeldMessages& held) {
  EncodeCommandHost host(files);
  EncoderConsole console;
  console.showStatus = false;
  const bool quiet = reporting().quiet;
  console.err = quiet ? std::fopen("/dev/null", "we") : std::tmpfile();
  console.out = quiet ? std::fopen("/dev/null", "we") : std::tmpfile();
  if (console.err == nullptr || console.out == nullptr) {
    const int error = errno;
    for (std::FILE* file : {console.err, console.out}) {
      if (file != nullptr) std::fclose(file);
    }
    return report_failure("", errno_fault(quiet ? "/dev/null" : "a temporary file", error));
  }
  const std::size_t errBefore = held.err.size(), outBefore = held.out.size();
  const int status = report(SaveToMp3File(host, console, settings), files, console);
  if (!quiet) {
    held.err.insert(errBefore, console_text(console.err));
    held.out.insert(outBefore, console_text(console.out));
  }
  std::fclose(console.err);
  std::fclose(console.out);
  return status;
}

// The encoder's console for this run: its texts stay off standard output when that carries
// the MP3, and go nowhere but the failure when quiet.
int encode(const FilePair& files, const Mp3Settings& settings) {
  if (HeldMessages* held = held_messages()) return encode_beside_others(files, settings, *held);
  EncodeCommandHost host(files);
  EncoderConsole& console = process_console();
  std::FILE* nowhere = nullptr;
  if (reporting().quiet) {
    nowhere = std::fopen("/dev/null", "we");
    if (nowhere != nullptr) console.err = console.out = nowhere;
  } else if (reporting().dataOnStandardOutput) {
    console.out = stderr;
  }
  const int status = report(SaveToMp3File(host, console, settings), files, console);
  console.err = stderr;
  console.out = stdout;
  if (nowhere != nullptr) std::fclose(nowhere);
  return status;
}

std::string open_input_text(const std::string& input) {
  std::string text = format_text(encoder_texts::kCouldNotFind, input.c_str());
  text.pop_back();  // the line break
  return text;
}

}  // namespace

void add_encode_command(CLI::App& app, int& status) {
  auto arguments = std::make_shared<EncodeArguments>();
  auto& settings = arguments->settings;
  auto* command = app.add_subcommand(
      "encode", "Save a WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3 or raw PCM file as an MP3 file; without options at "
      "libmp3lame's default settings");
  add_file_arguments(*command, arguments->files);
  auto* bitrate = command->add_option("--bitrate", settings.bitrateKbps, "constant bitrate in kbit/s, 8 to 320")
                      ->type_name("KBPS")
                      ->check([](const std::string& text) {
                        try {
                          return is_mp3_bitrate(std::stoi(text)) ? std::string() : "not an MP3 bitrate: " + text;
                        } catch (const std::exception&) {
                          return "not an MP3 bitrate: " + text;
                        }
                      });
  command->add_option("--vbr", settings.vbrQuality, "variable bitrate of this quality, 0 (best) to 9")
      ->type_name("QUALITY")
      ->check(CLI::Range(0, 9))
      ->excludes(bitrate);
  command->add_option("--quality", settings.quality, "the encoding algorithm's quality, 0 (best, slowest) to 9")
      ->check(CLI::Range(0, 9));
  // Each tag is taken from a WAVE input's LIST/INFO chunk unless given here.
  command->add_option("--title", settings.tags.title, "ID3v2 title");
  command->add_option("--artist", settings.tags.artist, "ID3v2 artist");
  command->add_option("--album", settings.tags.album, "ID3v2 album");
  command->add_option("--year", settings.tags.year, "ID3v2 year");
  command->add_option("--track", settings.tags.track, "ID3v2 track number, N or N/TOTAL");
  command->add_option("--comment", settings.tags.comment, "ID3v2 comment");
  command->add_flag("--replaygain", settings.replayGain,
                    "ReplayGain 2.0 track gain (-18 LUFS less the loudness) and true peak in ID3v2 TXXX frames");
  command->callback([&status, arguments] {
    status = run_file_operation(arguments->files, {.outputExtension = ".mp3",
                                                   .openInputText = open_input_text,
                                                   .run = [arguments](const FilePair& files) {
                                                     return encode(files, arguments->settings);
                                                   }});
  });
}

}  // namespace tunekiln
