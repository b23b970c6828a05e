#include <CLI/CLI.hpp>

#include "cli/analyse_command.h"
#include "cli/encode_command.h"
#include "cli/engine_commands.h"
#include "cli/play_command.h"
#include "cli/wav_commands.h"

namespace {

// Wrong or missing arguments, distinct from an operation's own failure (1).
constexpr int kUsageStatus = 2;

// A usage error shows the help of the command that was being given, not only the program's.
std::string usage_failure(const CLI::App* app, const CLI::Error& error) {
  const auto chosen = app->get_subcommands();
  const CLI::App* command = chosen.empty() ? app : chosen.back();
  return std::string(error.what()) + "\n\n" + (command == app ? app->help() : command->help(app->get_name()));
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The sound file operations of tunekiln, for scripts and batch work.", "tunekiln-cli"};
  app.require_subcommand(1);
  app.failure_message(usage_failure);

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
    return error.get_exit_code() == 0 ? 0 : kUsageStatus;
  }
  return status;
}
