#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>

#include "cli/analyse_command.h"
#include "cli/encode_command.h"
#include "cli/engine_commands.h"
#include "cli/file_runs.h"
#include "cli/play_command.h"
#include "cli/process_setup.h"
#include "cli/reporting.h"
#include "cli/wav_commands.h"
#include "platform/standard_descriptors.h"

namespace {

// Wrong or missing arguments, distinct from an operation's own failure (1).
constexpr int kUsageStatus = 2;

// A usage error shows the help of the command that was being given, not only the program's.
std::string usage_failure(const CLI::App* app, const CLI::Error& error) {
  const auto chosen = app->get_subcommands();
  const CLI::App* command = chosen.empty() ? app : chosen.back();
  return std::string(error.what()) + "\n\n" + (command == app ? app->help() : command->help(app->get_name()));
}

// What stands in standard output's buffer is written out; a failure there is the command's.
int with_standard_output_written(int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
  return status == 0 ? tunekiln::standard_output_failed(errno) : status;
}

}  // namespace

int main(int argc, char** argv) {
  tunekiln::make_standard_descriptors_valid();
  tunekiln::watch_ending_signals();

  CLI::App app{"The sound file operations of tunekiln, for scripts and batch work.", "tunekiln-cli"};
  app.require_subcommand(1);
  app.fallthrough();  // the program's options also after the command's name
  app.failure_message(usage_failure);
  app.set_version_flag("--version", "tunekiln-cli " TUNEKILN_VERSION);
  app.add_flag("-q,--quiet", tunekiln::reporting().quiet, "no progress and no finish message; failures only");

  int status = 0;
  tunekiln::add_wav_commands(app, status);
  tunekiln::add_engine_commands(app, status);
  tunekiln::add_encode_command(app, status);
  tunekiln::add_play_command(app, status);
  tunekiln::add_analyse_command(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return with_standard_output_written(error.get_exit_code() == 0 ? 0 : kUsageStatus);
  }
  return with_standard_output_written(status);
}
