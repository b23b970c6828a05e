#include "cli/wav_commands.h"

#include <memory>

#include "cli/command_line_host.h"
#include "cli/cut_time.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

struct WavArguments {
  FileArguments files;
  std::string multiple;
  std::string start = "0";
  std::string end = "0";
};

const CLI::Validator kCutTime(
    [](const std::string& text) {
      return parse_cut_time(text) ? std::string() : "expected whole seconds as S, M:S or H:M:S up to 23:59:59";
    },
    "");

CLI::App* add_file_command(CLI::App& app, const char* name, const char* description, WavArguments& arguments) {
  auto* command = app.add_subcommand(name, description);
  add_file_arguments(*command, arguments.files);
  return command;
}

// Runs the operation on every IN OUT pair; `configure` gives each one's host the parameters.
void run(int& status, const WavArguments& arguments, std::function<Outcome(WavProcessHost&)> operation,
         const std::function<void(CommandLineHost&)>& configure = {}) {
  status = run_file_operation(arguments.files,
                              {.outputExtension = "",
                               .openInputText = [](const std::string&) { return std::string(wav_texts::kOpenInputError); },
                               .run = [&](const FilePair& files) {
                                 CommandLineHost host(files);
                                 if (configure) configure(host);
                                 return host.report(operation(host));
                               }});
}

}  // namespace

void add_wav_commands(CLI::App& app, int& status) {
  auto arguments = std::make_shared<WavArguments>();

  add_file_command(app, "left", "Write the left channel of a stereo WAV file as a mono WAV file",
                   *arguments)
      ->callback([&status, arguments] {
        run(status, *arguments, [](WavProcessHost& host) { return ExtractChannel(host, Channel::left); });
      });
  add_file_command(app, "right", "Write the right channel of a stereo WAV file as a mono WAV file",
                   *arguments)
      ->callback([&status, arguments] {
        run(status, *arguments, [](WavProcessHost& host) { return ExtractChannel(host, Channel::right); });
      });
  add_file_command(app, "clear-voice",
                   "Write right minus left of a stereo WAV file as a mono WAV file, removing a centred voice",
                   *arguments)
      ->callback([&status, arguments] {
        run(status, *arguments, [](WavProcessHost& host) { return ClearVoice(host); });
      });

  auto* volume = add_file_command(app, "volume", "Multiply every sample of a WAV file by a factor", *arguments);
  volume->add_option("--multiple", arguments->multiple, "the factor: digits with an optional point, e.g. 2 or 0.5")
      ->required();
  volume->callback([&status, arguments] {
    run(
        status, *arguments, [](WavProcessHost& host) { return ChangeVolume(host); },
        [&](CommandLineHost& host) { host.setVolumeEntry(arguments->multiple); });
  });

  auto* cut = add_file_command(app, "cut", "Write the part of a WAV file between two times", *arguments);
  cut->add_option("--start", arguments->start, "start time in whole seconds: S, M:S or H:M:S")
      ->check(kCutTime)
      ->type_name("TIME")
      ->capture_default_str();
  cut->add_option("--end", arguments->end, "end time; 0 means the end of the file")
      ->check(kCutTime)
      ->type_name("TIME")
      ->capture_default_str();
  cut->callback([&status, arguments] {
    run(status, *arguments, [](WavProcessHost& host) { return CutByTime(host); }, [&](CommandLineHost& host) {
      host.setCutEntries(cut_entries(*parse_cut_time(arguments->start), *parse_cut_time(arguments->end)));
    });
  });
}

}  // namespace tunekiln
