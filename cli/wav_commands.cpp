#include "cli/wav_commands.h"

#include <charconv>
#include <memory>

#include "cli/command_line_host.h"
#include "cli/cut_time.h"
#include "cli/loudness_target.h"
#include "cli/reporting.h"
#include "wavproc/centre_bass.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

struct WavArguments {
  FileArguments files;
  std::string multiple;
  std::string keepBassHz;
  std::string start = "0";
  std::string end = "0";
  std::uint32_t fadeMs = 0;
  std::optional<double> toLufs;
  double maxTruePeak = kDefaultCeilingDbtp;
  bool album = false;
};

const CLI::Validator kCutTime(
    [](const std::string& text) {
      return parse_cut_time(text) ? std::string()
                                  : "expected a time as S, M:S or H:M:S with up to three decimals, at most "
                                    "23:59:59.999, or a frame index as Ns, got '" + text + "'";
    },
    "");

// The cut-off of --keep-bass: a decimal number of hertz ("120", "150.7", "2e2"), read by the
// check and by the operation alike. Nothing for any other text.
std::optional<double> parse_frequency(const std::string& text) {
  double hz = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, hz);
  if (error != std::errc() || stop != end || !(hz > 0 && hz < 1e6)) return std::nullopt;
  return hz;
}

const CLI::Validator kFrequency(
    [](const std::string& text) {
      return parse_frequency(text) ? std::string() : "expected a frequency in Hz, got '" + text + "'";
    },
    "");

// Levels in LUFS or dBTP between the gate of the loudness measurement, -70, and full scale.
CLI::Validator level_check(const char* unit) {
  return CLI::Validator(
      [unit](const std::string& text) {
        double value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error == std::errc() && stop == end && value >= -70 && value <= 0) return std::string();
        return "expected a number of " + std::string(unit) + " from -70 to 0, got '" + text + "'";
      },
      "");
}

CLI::App* add_file_command(CLI::App& app, const char* name, const char* description, WavArguments& arguments) {
  auto* command = app.add_subcommand(name, description);
  add_file_arguments(*command, arguments.files);
  return command;
}

// Runs the operation on every IN OUT pair; `configure` gives each one's host the parameters.
void run(int& status, const WavArguments& arguments, std::function<OperationResult(WavProcessHost&)> operation,
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

  add_file_command(app, "left", "Write the left channel of a stereo file as a mono WAV file",
                   *arguments)
      ->callback([&status, arguments] {
        run(status, *arguments, [](WavProcessHost& host) { return ExtractChannel(host, Channel::left); });
      });
  add_file_command(app, "right", "Write the right channel of a stereo file as a mono WAV file",
                   *arguments)
      ->callback([&status, arguments] {
        run(status, *arguments, [](WavProcessHost& host) { return ExtractChannel(host, Channel::right); });
      });
  auto* clearVoice = add_file_command(
      app, "clear-voice", "Write right minus left of a stereo file as a mono WAV file, removing a centred voice",
      *arguments);
  // A flag with an optional value: --keep-bass alone, or --keep-bass=HZ, so that the next
  // argument is never taken for the frequency. Not given, it leaves the text empty.
  const std::string keepBassFlag = "--keep-bass{" + std::to_string(static_cast<int>(kDefaultKeepBassHz)) + "}";
  clearVoice->add_flag(keepBassFlag, arguments->keepBassHz, "keep the centre below HZ (bass and kick drum); alone: below 120 Hz")
      ->check(kFrequency)
      ->type_name("[=HZ]");
  clearVoice->callback([&status, arguments] {
    const auto keepBassHz = parse_frequency(arguments->keepBassHz);
    run(status, *arguments, [&](WavProcessHost& host) { return ClearVoice(host, nullptr, keepBassHz); });
  });

  auto* volume =
      add_file_command(app, "volume", "Multiply every sample of a file by a factor, into a WAV file", *arguments);
  auto* multiple = volume->add_option("--multiple", arguments->multiple,
                                      "the factor: digits with an optional point, e.g. 2 or 0.5, or max for the "
                                      "largest that does not clip");
  auto* toLufs = volume->add_option("--to-lufs", arguments->toLufs,
                                    "bring the loudness to TARGET LUFS (e.g. -16), the true peak kept at or below "
                                    "--max-true-peak")
                     ->check(level_check("LUFS"))
                     ->type_name("TARGET")
                     ->excludes(multiple);
  volume->add_option("--max-true-peak", arguments->maxTruePeak, "with --to-lufs: the ceiling of the true peak")
      ->check(level_check("dBTP"))
      ->type_name("DBTP")
      ->capture_default_str()
      ->needs(toLufs);
  volume->add_flag("--album", arguments->album,
                   "with --to-lufs and --output-dir: one gain for every IN, from their loudness taken together, "
                   "so their relative levels stay")
      ->needs(toLufs)
      ->needs(volume->get_option("--output-dir"));
  volume->callback([&status, arguments, multiple] {
    if (!arguments->toLufs) {
      // An empty --multiple is given, and refused as an entry like any other.
      if (multiple->count() == 0) throw CLI::RequiredError("--multiple or --to-lufs");
      run(
          status, *arguments, [](WavProcessHost& host) { return ChangeVolume(host); },
          [&](CommandLineHost& host) { host.setVolumeEntry(arguments->multiple); });
      return;
    }
    const LoudnessTarget target{.lufs = *arguments->toLufs, .ceilingDbtp = arguments->maxTruePeak};
    std::optional<TargetGain> albumGain;
    if (arguments->album) {
      for (const auto& input : arguments->files.files) {
        if (input == "-") throw CLI::ValidationError("IN", "- has no name to give its output in --output-dir");
      }
      auto measured = measure_album_gain(arguments->files.files, target);
      if (auto* refusal = std::get_if<TargetRefusal>(&measured)) {
        status = report_failure(refusal->message, refusal->fault);
        return;
      }
      albumGain = std::get<TargetGain>(measured);
    }
    run(
        status, *arguments, [](WavProcessHost& host) { return ChangeVolume(host); },
        [&](CommandLineHost& host) { host.setLoudnessTarget(target, albumGain); });
  });

  auto* cut = add_file_command(app, "cut", "Write the part of a file between two times as a WAV file", *arguments);
  cut->add_option("--start", arguments->start,
                  "start time: S, M:S or H:M:S with up to three decimals (1:02.250), or a frame index as Ns")
      ->check(kCutTime)
      ->type_name("TIME")
      ->capture_default_str();
  cut->add_option("--end", arguments->end, "end time, the first left out; 0 means the end of the file")
      ->check(kCutTime)
      ->type_name("TIME")
      ->capture_default_str();
  cut->add_option("--fade", arguments->fadeMs, "fade the first and the last MS milliseconds of the result in and out")
      ->check(CLI::Range(0, 1000))
      ->type_name("MS");
  cut->callback([&status, arguments] {
    run(status, *arguments, [](WavProcessHost& host) { return CutByTime(host); }, [&](CommandLineHost& host) {
      host.setCutRange({*parse_cut_time(arguments->start), *parse_cut_time(arguments->end), arguments->fadeMs});
    });
  });
}

}  // namespace tunekiln
