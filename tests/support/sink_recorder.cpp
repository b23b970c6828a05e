#include "tests/support/sink_recorder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/wav_builder.h"

namespace tunekiln::test {

SinkRecorder::SinkRecorder() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::execlp("parec", "parec", "--device=test_sink.monitor", "--format=s16le", "--rate=44100",
             "--channels=2", "--raw", "--latency-msec=20", nullptr);
    // The recording ends at once: every wait answers false
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid_ < 0) throw std::runtime_error("cannot start parec");
  pipe_ = fds[0];
  // Room for 6 s of recording: parec stalls, and the server drops what it records, only when a
  // test reads nothing for longer.
  ::fcntl(pipe_, F_SETPIPE_SZ, 1 << 20);
}

SinkRecorder::~SinkRecorder() {
  ::kill(pid_, SIGTERM);
  ::close(pipe_);
  ::waitpid(pid_, nullptr, 0);
}

bool SinkRecorder::pull(bool wait) {
  pollfd ready{.fd = pipe_, .events = POLLIN, .revents = 0};
  while (::poll(&ready, 1, wait ? -1 : 0) > 0) {
    std::uint8_t buffer[65536];
    const ssize_t got = ::read(pipe_, buffer, sizeof buffer);
    if (got <= 0) return false;
    bytes_.insert(bytes_.end(), buffer, buffer + got);
    wait = false;
  }
  return true;
}

bool SinkRecorder::waitForRun(std::size_t from, std::size_t length, bool silent, std::size_t& at) {
  for (std::size_t next = from, runStart = from; runStart < from + kLookAhead; ++next) {
    if (!waitForFrames(next + 1)) return false;
    const std::uint8_t* frame = &bytes_[next * 4];
    if (((frame[0] | frame[1] | frame[2] | frame[3]) == 0) != silent) {
      runStart = next + 1;
    } else if (next + 1 - runStart >= length) {
      at = runStart;
      return true;
    }
  }
  return false;
}

Bytes counting_frames(std::size_t count) {
  Bytes bytes;
  for (std::uint32_t n = 1; n <= count; ++n) {
    for (const int shift : {0, 8, 16, 24}) bytes.push_back(static_cast<std::uint8_t>(n >> shift));
  }
  return bytes;
}

std::vector<CountedRun> counted_runs(const Bytes& recording) {
  std::vector<CountedRun> runs;
  for (std::size_t frame = 0; frame < recording.size() / 4; ++frame) {
    // A silent frame gives -1.
    const std::int64_t index = std::int64_t{le32(recording, 4 * frame)} - 1;
    if (index < 0) continue;
    if (!runs.empty() && runs.back().at + runs.back().length == frame && index == runs.back().end()) {
      ++runs.back().length;
    } else {
      runs.push_back({index, 1, frame});
    }
  }
  return runs;
}

}  // namespace tunekiln::test
