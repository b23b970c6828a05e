#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/decoder.h"
#include "engine/notification_sink.h"
#include "engine/output.h"
#include "engine/player.h"

namespace tunekiln::test {

// What the doubles were asked, in order, as "who.call(arguments)"; readable from any thread.
class CallLog {
 public:
  void add(std::string call);
  std::vector<std::string> calls() const;
  // The calls that start with `prefix`.
  std::vector<std::string> callsOf(const std::string& prefix) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

// Holds the engine thread inside one call until the test lets it go, so that commands can be
// queued behind it.
class Gate {
 public:
  // On the engine thread: tells the test it has arrived and waits to be let go.
  void arriveAndWait();
  void waitUntilArrived();
  void release();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool released_ = false;
};

// Called on the engine thread at the start of each call of a double, with its log text.
using CallHook = std::function<void(const std::string& call)>;

// A stream a test decoder plays: its format and how many bytes of PCM it holds.
struct TestStream {
  StreamInfo info;
  std::size_t bytes = 0;
};

// A decoder that opens the names it was given and hands out a byte pattern, one second of
// position per bytes-per-second of its format.
class TestDecoder final : public Decoder {
 public:
  TestDecoder(std::string who, CallLog& log, std::map<std::string, TestStream> streams, CallHook hook = {});

  bool open(const std::string& name) override;
  void close() override;
  void seek(std::uint32_t numerator, std::uint32_t denominator) override;
  StreamInfo getInfo() override { return stream_.info; }
  bool read(std::uint8_t* buffer, std::size_t& size) override;
  std::int32_t getPosition() override;

 private:
  void note(const std::string& call);

  std::string who_;
  CallLog& log_;
  std::map<std::string, TestStream> streams_;
  CallHook hook_;
  TestStream stream_;
  std::size_t handed_ = 0;
};

struct TestOutputShape {
  bool wakeEvent = true;   // false: an output the engine pumps without waiting
  bool selfSignal = false;  // signals its own wake event after every pump, as the WAV writer does
  std::size_t blockBytes = 4000;
};

// An output that takes one block from the decoder per pump and plays it nowhere. It reports
// done while `done` is set; a test drives it with wake().
class TestOutput final : public Output {
 public:
  TestOutput(std::string name, CallLog& log, TestOutputShape shape = {}, CallHook hook = {});

  void open(const StreamInfo& info) override;
  void close() override;
  void pump() override;
  void pause(bool paused) override;
  bool isDone() override;
  void reset() override;
  void setVolume(int level) override;

  // From the test: wants a pump, as a device does when it has played a block.
  void wake();
  std::atomic<bool> done{true};

 private:
  void note(const std::string& call);

  CallLog& log_;
  TestOutputShape shape_;
  CallHook hook_;
  std::vector<std::uint8_t> block_;
};

// A notification as a line of text, e.g. "STATE PLAYING", "INFO 10", "POSITION 3".
std::string describe(const PlayerNotification& notification);

}  // namespace tunekiln::test
