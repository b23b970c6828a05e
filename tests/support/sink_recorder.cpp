#include "tests/support/sink_recorder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace tunekiln::test {

SinkRecorder::SinkRecorder(const std::string& monitor) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  std::string device = "--device=" + monitor;
  char* argv[] = {const_cast<char*>("parec"), device.data(), const_cast<char*>("--format=s16le"),
                  const_cast<char*>("--rate=44100"), const_cast<char*>("--channels=2"), const_cast<char*>("--raw"),
                  const_cast<char*>("--latency-msec=20"), nullptr};
  const int spawned = ::posix_spawnp(&pid_, "parec", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    throw std::runtime_error("cannot start parec");
  }
  pipe_ = fds[0];
  reader_ = std::thread([this] {
    std::uint8_t buffer[8192];
    for (;;) {
      const ssize_t got = ::read(pipe_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      std::lock_guard lock(mutex_);
      if (got <= 0) ended_ = true;
      if (got > 0) bytes_.insert(bytes_.end(), buffer, buffer + got);
      arrived_.notify_all();
      if (ended_) return;
    }
  });
}

SinkRecorder::~SinkRecorder() {
  ::kill(pid_, SIGTERM);
  reader_.join();
  ::close(pipe_);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

std::size_t SinkRecorder::frames() const {
  std::lock_guard lock(mutex_);
  return bytes_.size() / 4;
}

std::vector<std::int16_t> SinkRecorder::samples(std::size_t first) const {
  std::lock_guard lock(mutex_);
  std::vector<std::int16_t> samples;
  for (std::size_t i = first * 4; i < bytes_.size() / 4 * 4; i += 2) {
    samples.push_back(static_cast<std::int16_t>(bytes_[i] | bytes_[i + 1] << 8));
  }
  return samples;
}

bool SinkRecorder::silentAt(std::size_t frame) const {
  const std::uint8_t* bytes = &bytes_[frame * 4];
  return (bytes[0] | bytes[1] | bytes[2] | bytes[3]) == 0;
}

template <typename Found>
bool SinkRecorder::waitUntil(Found found) {
  std::unique_lock lock(mutex_);
  bool result = false;
  arrived_.wait(lock, [&] { return (result = found(bytes_.size() / 4)) || ended_; });
  return result;
}

bool SinkRecorder::waitForFrames(std::size_t count) {
  return waitUntil([count](std::size_t end) { return end >= count; });
}

bool SinkRecorder::waitForRun(std::size_t from, std::size_t length, bool silent, std::size_t& at) {
  std::size_t next = from, runStart = from;
  bool found = false;
  waitUntil([&](std::size_t end) {
    for (; !found && next < end && runStart < from + kLookAhead; ++next) {
      if (silentAt(next) != silent) {
        runStart = next + 1;
      } else if (next + 1 - runStart >= length) {
        found = true;
      }
    }
    return found || runStart >= from + kLookAhead;
  });
  if (found) at = runStart;
  return found;
}

std::vector<std::int16_t> counting_frames(std::size_t count) {
  std::vector<std::int16_t> samples(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    samples[2 * i] = static_cast<std::int16_t>((i + 1) & 0xFFFF);
    samples[2 * i + 1] = static_cast<std::int16_t>((i + 1) >> 16);
  }
  return samples;
}

std::vector<CountedRun> counted_runs(const std::vector<std::int16_t>& interleaved) {
  std::vector<CountedRun> runs;
  bool inRun = false;
  for (std::size_t frame = 0; frame < interleaved.size() / 2; ++frame) {
    const std::uint32_t low = static_cast<std::uint16_t>(interleaved[2 * frame]);
    const std::uint32_t high = static_cast<std::uint16_t>(interleaved[2 * frame + 1]);
    const std::int64_t index = static_cast<std::int64_t>(low | high << 16) - 1;  // -1: silence
    if (inRun && index >= 0 && index == runs.back().end()) {
      ++runs.back().length;
    } else if (index >= 0) {
      runs.push_back({index, 1, frame});
    }
    inRun = index >= 0;
  }
  return runs;
}

}  // namespace tunekiln::test
