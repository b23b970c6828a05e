#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/decoder.h"
#include "engine/output.h"
#include "engine/wav_writer_host.h"
#include "tests/support/temp_dir.h"

// The engine's test doubles: decoders and outputs a test drives.
namespace tunekiln::test {

// What the doubles were asked, as "who.call(arguments)"; readable from any thread.
class CallLog {
 public:
  void add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    changed_.notify_all();
  }
  // The calls that start with `prefix`.
  std::vector<std::string> callsOf(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> matching = calls_;
    std::erase_if(matching, [&](const std::string& call) { return !call.starts_with(prefix); });
    return matching;
  }
  // Waits until more than `count` calls start with `prefix`, for at most a few seconds.
  void waitForMoreThan(std::size_t count, const std::string& prefix) {
    std::unique_lock lock(mutex_);
    const auto starts = [&](const std::string& call) { return call.starts_with(prefix); };
    changed_.wait_for(lock, std::chrono::seconds(3), [&] {
      return static_cast<std::size_t>(std::ranges::count_if(calls_, starts)) > count;
    });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> calls_;
};

// A stream a test decoder plays: its format and how many bytes of PCM it holds.
struct TestStream {
  StreamInfo info;
  std::size_t bytes = 0;
  // The read that would end the stream fails instead
  bool failsAtEnd = false;
};

// Byte n of every test stream: n plus the number of its 32768-byte block, so that no two blocks
// of the sound card's pool look alike.
inline std::uint8_t stream_byte(std::size_t n) { return static_cast<std::uint8_t>(n + n / 32768); }
// The first `count`.
inline Bytes stream_bytes(std::size_t count) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = stream_byte(i);
  return bytes;
}

// A decoder that opens the names it was given and hands out the bytes of stream_byte, one
// second of position per bytes-per-second of its format.
class TestDecoder final : public Decoder {
 public:
  TestDecoder(std::string who, CallLog& log, std::map<std::string, TestStream> streams)
      : who_(std::move(who)), log_(log), streams_(std::move(streams)) {}

  bool open(const OpenedFile& file) override {
    log_.add(who_ + ".open(" + file.name + ")");
    const auto found = streams_.find(file.name);
    if (found == streams_.end()) return false;
    stream_ = found->second;
    handed_ = 0;
    return true;
  }
  void close() override { log_.add(who_ + ".close"); }
  void seek(std::uint32_t numerator, std::uint32_t denominator) override {
    log_.add(who_ + ".seek(" + std::to_string(numerator) + "," + std::to_string(denominator) + ")");
    // Past the end: at the end
    handed_ = std::min(stream_.bytes, stream_.bytes * numerator / denominator);
  }
  StreamInfo getInfo() override { return stream_.info; }
  ReadResult read(std::uint8_t* buffer, std::size_t& size) override {
    size = std::min(size, stream_.bytes - handed_);
    for (std::size_t i = 0; i < size; ++i) buffer[i] = stream_byte(handed_ + i);
    handed_ += size;
    if (handed_ < stream_.bytes) return ReadResult::more;
    // The last bytes come with the end
    return stream_.failsAtEnd ? ReadResult::failed : ReadResult::end;
  }
  const char* name() const override { return who_.c_str(); }
  std::int32_t getPosition() override {
    const StreamInfo& info = stream_.info;
    const auto bytesPerSecond = std::size_t{1} * info.sampleRate * (info.stereo + 1) * (info.sixteenBit + 1);
    return static_cast<std::int32_t>(handed_ / bytesPerSecond);
  }
  void setLengthListener(std::function<void()> listener) override { lengthKnown = std::move(listener); }
  std::size_t handed() const { return handed_; }

  // What the engine gave setLengthListener: a test calls it as the decoder's own thread would.
  std::function<void()> lengthKnown;

 private:
  std::string who_;
  CallLog& log_;
  std::map<std::string, TestStream> streams_;
  TestStream stream_;
  std::size_t handed_ = 0;
};

// An output that takes one block of 4000 bytes from the decoder per pump and plays it nowhere.
// It reports done while `done` is set, and as much unheard as `unheard` says.
class TestOutput final : public Output {
 public:
  TestOutput(std::string name, CallLog& log) : Output(std::move(name)), log_(log) {
    createWakeEvent();
  }

  void open(const StreamInfo& info) override { note("open(" + std::to_string(info.sampleRate) + ")"); }
  void close() override { note("close"); }
  void pump() override {
    std::uint8_t block[4000];
    std::size_t size = sizeof block;
    const ReadResult result = attachedDecoder()->read(block, size);
    note("pump");
    if (result != ReadResult::more) closeAndDetachDecoder(result);
  }
  // Whether a pause is heard shows in the sound tests
  void pause(bool) override {}
  bool isDone() override {
    // Read before the call is logged: a test that waits for the call may then change it.
    const bool answer = done;
    note("isDone");
    return answer;
  }
  void reset() override { note("reset"); }
  void setVolume(int level) override { note("setVolume(" + std::to_string(level) + ")"); }
  std::uint32_t unheardMilliseconds() override { return unheard; }

  // Wants a pump, as a device does when it has played a block, and waits until the engine has
  // come to it.
  void wake() {
    const std::size_t before = log_.callsOf(name() + ".").size();
    wakeEvent()->signal();
    // What the pump brings is posted before the next command
    log_.waitForMoreThan(before, name() + ".");
  }
  std::atomic<bool> done{true};
  std::atomic<std::uint32_t> unheard{0};

 private:
  void note(const std::string& call) { log_.add(name() + "." + call); }

  CallLog& log_;
};

// Answers the WAV file writer's destination prompt n (from 0) with answer(n); nothing is Cancel.
struct ScriptedDestination final : WavWriterHost {
  std::optional<std::string> chooseDestination() override { return answer(prompts++); }
  std::function<std::optional<std::string>(std::size_t)> answer;
  std::size_t prompts = 0;
};

// Everything a decoder hands out from where it stands, in reads of `blockBytes`.
struct Decoded {
  Bytes pcm;
  // How the last read answered: end, or failed.
  ReadResult last = ReadResult::more;
};
Decoded decode_all(Decoder& decoder, std::size_t blockBytes = 32768);

// A state or a failure as a word: "PLAYING", "READ_FAILED", "WRITE_FAILED 28".
std::string describe(const PlayerNotification& notification);

}  // namespace tunekiln::test
