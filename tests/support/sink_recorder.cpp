#include "tests/support/sink_recorder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
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
  std::vector<std::string> arguments{"parec", "--device=" + monitor, "--format=s16le", "--rate=44100",
                                     "--channels=2", "--raw", "--latency-msec=20"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int spawned = ::posix_spawnp(&pid_, "parec", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    throw std::runtime_error("cannot start parec");
  }
  pipe_ = fds[0];
  reader_ = std::thread([this] { readUntilEnd(); });
}

SinkRecorder::~SinkRecorder() {
  ::kill(pid_, SIGTERM);
  reader_.join();
  ::close(pipe_);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

void SinkRecorder::readUntilEnd() {
  std::array<std::uint8_t, 8192> buffer{};
  std::size_t carried = 0;  // bytes of an unfinished sample at the start of the buffer
  for (;;) {
    const ssize_t got = ::read(pipe_, buffer.data() + carried, buffer.size() - carried);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const std::size_t bytes = carried + static_cast<std::size_t>(got);
    const std::size_t whole = bytes / 2 * 2;
    {
      std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < whole; i += 2) {
        samples_.push_back(static_cast<std::int16_t>(buffer[i] | buffer[i + 1] << 8));
      }
    }
    arrived_.notify_all();
    carried = bytes - whole;
    if (carried > 0) buffer[0] = buffer[whole];
  }
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  arrived_.notify_all();
}

std::size_t SinkRecorder::frames() const {
  std::lock_guard lock(mutex_);
  return samples_.size() / kChannels;
}

std::vector<std::int16_t> SinkRecorder::samples(std::size_t first) const {
  std::lock_guard lock(mutex_);
  const std::size_t from = std::min(first * kChannels, samples_.size() / kChannels * kChannels);
  return {samples_.begin() + static_cast<std::ptrdiff_t>(from),
          samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() / kChannels * kChannels)};
}

bool SinkRecorder::silentAt(std::size_t frame) const {
  return samples_[frame * kChannels] == 0 && samples_[frame * kChannels + 1] == 0;
}

template <typename Found>
bool SinkRecorder::waitUntil(Found found) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (found(samples_.size() / kChannels)) return true;
    if (ended_) return false;
    arrived_.wait(lock);
  }
}

bool SinkRecorder::waitForFrames(std::size_t count) {
  return waitUntil([count](std::size_t end) { return end >= count; });
}

bool SinkRecorder::waitForSound(std::size_t from, std::size_t& at) {
  std::size_t next = from;
  bool found = false;
  waitUntil([&](std::size_t end) {
    for (; next < end && next < from + kLookAhead; ++next) {
      if (!silentAt(next)) {
        at = next;
        found = true;
        return true;
      }
    }
    return next >= from + kLookAhead;
  });
  return found;
}

bool SinkRecorder::waitForSilence(std::size_t from, std::size_t length, std::size_t& at) {
  std::size_t next = from, runStart = from;
  bool found = false;
  waitUntil([&](std::size_t end) {
    for (; next < end; ++next) {
      if (!silentAt(next)) {
        runStart = next + 1;
        if (runStart >= from + kLookAhead) return true;
      } else if (next + 1 - runStart >= length) {
        at = runStart;
        found = true;
        return true;
      }
    }
    return false;
  });
  return found;
}

std::vector<std::int16_t> counting_frames(std::size_t count) {
  std::vector<std::int16_t> samples(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    const auto number = static_cast<std::uint32_t>(i + 1);
    samples[2 * i] = static_cast<std::int16_t>(number & 0xFFFF);
    samples[2 * i + 1] = static_cast<std::int16_t>(number >> 16);
  }
  return samples;
}

std::int64_t counted_index(std::int16_t left, std::int16_t right) {
  const std::uint32_t low = static_cast<std::uint16_t>(left);
  const std::uint32_t high = static_cast<std::uint16_t>(right);
  const std::uint32_t number = low | high << 16;
  return static_cast<std::int64_t>(number) - 1;
}

std::vector<CountedRun> counted_runs(const std::vector<std::int16_t>& interleaved) {
  std::vector<CountedRun> runs;
  bool inRun = false;
  for (std::size_t frame = 0; frame < interleaved.size() / 2; ++frame) {
    const std::int64_t index = counted_index(interleaved[2 * frame], interleaved[2 * frame + 1]);
    if (index < 0) {
      inRun = false;
      continue;
    }
    if (inRun && index == runs.back().firstIndex + static_cast<std::int64_t>(runs.back().length)) {
      ++runs.back().length;
    } else {
      runs.push_back({index, 1, frame});
      inRun = true;
    }
  }
  return runs;
}

}  // namespace tunekiln::test
