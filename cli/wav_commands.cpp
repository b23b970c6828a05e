#include "cli/wav_commands.h"

#include <memory>

#include "cli/command_line_host.h"
#include "wavproc/wav_operations.h"

namespace tunekiln {
namespace {

struct WavArguments {
  std::string input;
  std::string output;
  std::string multiple;
  std::string start = "0:00:00";
  std::string end = "0:00:00";
};

// H:M:S into the cut dialog's three fields; the fields are checked as the dialog checks them.
std::array<std::string, 3> split_time(const std::string& text) {
  const auto first = text.find(':');
  const auto second = text.find(':', first + 1);
  return {text.substr(0, first), text.substr(first + 1, second - first - 1), text.substr(second + 1)};
}

const CLI::Validator kTimeShape(
    [](const std::string& text) {
      const auto colons = std::count(text.begin(), text.end(), ':');
      return colons == 2 ? std::string() : "expected a time as H:M:S, got '" + text + "'";
    },
    "");

CLI::App* add_file_command(CLI::App& app, const char* name, const char* description, WavArguments& arguments) {
  auto* command = app.add_subcommand(name, description);
  command->add_option("IN", arguments.input, "WAV file to read (never changed)")->required();
  command->add_option("OUT", arguments.output, "WAV file to write (replaced only by a complete result)")->required();
  return command;
}

template <typename Operation>
void run(int& status, WavArguments& arguments, Operation operation,
         const std::function<void(CommandLineHost&)>& configure = {}) {
  CommandLineHost host(arguments.input, arguments.output);
  if (configure) configure(host);
  status = host.report(operation(host));
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
  cut->add_option("--start", arguments->start, "start time, hours 0-23, minutes and seconds 0-59")
      ->check(kTimeShape)
      ->type_name("H:M:S")
      ->capture_default_str();
  cut->add_option("--end", arguments->end, "end time; 0:00:00 means the end of the file")
      ->check(kTimeShape)
      ->type_name("H:M:S")
      ->capture_default_str();
  cut->callback([&status, arguments] {
    run(status, *arguments, [](WavProcessHost& host) { return CutByTime(host); }, [&](CommandLineHost& host) {
      const auto start = split_time(arguments->start);
      const auto end = split_time(arguments->end);
      host.setCutEntries({start[0], start[1], start[2], end[0], end[1], end[2]});
    });
  });
}

}  // namespace tunekiln
