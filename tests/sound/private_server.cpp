#include "tests/sound/private_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "tests/support/run_program.h"

extern char** environ;

namespace tunekiln::test {

PrivateSoundServer::PrivateSoundServer() : address_("unix:" + dir_.file("native")) {
  std::filesystem::create_directory(dir_.path() / "run");
  std::filesystem::create_directory(dir_.path() / "state");
  // Its own runtime, state and home folders, and no display: it looks for no session bus.
  std::vector<std::string> environment{"PULSE_RUNTIME_PATH=" + dir_.file("run"),
                                       "PULSE_STATE_PATH=" + dir_.file("state"),
                                       "XDG_RUNTIME_DIR=" + dir_.file("run"), "HOME=" + dir_.path().string()};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string text = *variable;
    if (!text.starts_with("DISPLAY=") && !text.starts_with("PULSE_") && !text.starts_with("XDG_RUNTIME_DIR=") &&
        !text.starts_with("HOME=")) {
      environment.push_back(text);
    }
  }
  std::vector<std::string> arguments{
      "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "-n", "--realtime=no",
      "--high-priority=no", "--use-pid-file=no", "--log-target=file:" + dir_.file("pulse.log"),
      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir_.file("native"),
      "--load=module-null-sink sink_name=test_sink rate=44100 channels=2"};
  std::vector<char*> argv, envp;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  for (auto& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const int spawned = ::posix_spawnp(&pid_, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start pulseaudio");
  // Ready once it answers; each question takes a process start, so this does not spin.
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (run_program({"/usr/bin/env", "pactl", "--server=" + address_, "info"}).status == 0) return;
  }
  kill();
  throw std::runtime_error("pulseaudio did not start");
}

PrivateSoundServer::~PrivateSoundServer() { kill(); }

void PrivateSoundServer::kill() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace tunekiln::test
