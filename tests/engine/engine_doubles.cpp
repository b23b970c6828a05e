#include "tests/engine/engine_doubles.h"

#include <algorithm>

namespace tunekiln::test {

void CallLog::add(std::string call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<std::string> CallLog::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> CallLog::callsOf(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (auto& call : calls()) {
    if (call.starts_with(prefix)) matching.push_back(call);
  }
  return matching;
}

void CallLog::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void Gate::arriveAndWait() {
  std::unique_lock lock(mutex_);
  arrived_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return released_; });
}

void Gate::waitUntilArrived() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return arrived_; });
}

void Gate::release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

TestDecoder::TestDecoder(std::string who, CallLog& log, std::map<std::string, TestStream> streams, CallHook hook)
    : who_(std::move(who)), log_(log), streams_(std::move(streams)), hook_(std::move(hook)) {}

void TestDecoder::note(const std::string& call) {
  const std::string text = who_ + "." + call;
  if (hook_) hook_(text);
  log_.add(text);
}

bool TestDecoder::open(const std::string& name) {
  note("open(" + name + ")");
  const auto found = streams_.find(name);
  if (found == streams_.end()) return false;
  stream_ = found->second;
  handed_ = 0;
  return true;
}

void TestDecoder::close() { note("close"); }

void TestDecoder::seek(std::uint32_t numerator, std::uint32_t denominator) {
  note("seek(" + std::to_string(numerator) + "," + std::to_string(denominator) + ")");
  handed_ = stream_.bytes * numerator / denominator;
}

bool TestDecoder::read(std::uint8_t* buffer, std::size_t& size) {
  size = std::min(size, stream_.bytes - handed_);
  for (std::size_t i = 0; i < size; ++i) buffer[i] = static_cast<std::uint8_t>(handed_ + i);
  handed_ += size;
  return handed_ < stream_.bytes;  // the last bytes come with the end
}

std::int32_t TestDecoder::getPosition() {
  const StreamInfo& info = stream_.info;
  const std::size_t bytesPerSecond =
      static_cast<std::size_t>(info.sampleRate) * (info.stereo ? 2 : 1) * (info.sixteenBit ? 2 : 1);
  return static_cast<std::int32_t>(handed_ / bytesPerSecond);
}

TestOutput::TestOutput(std::string name, CallLog& log, TestOutputShape shape, CallHook hook)
    : Output(std::move(name)), log_(log), shape_(shape), hook_(std::move(hook)), block_(shape.blockBytes) {
  if (shape_.wakeEvent) createWakeEvent();
}

void TestOutput::note(const std::string& call) {
  const std::string text = name() + "." + call;
  if (hook_) hook_(text);
  log_.add(text);
}

void TestOutput::open(const StreamInfo& info) { note("open(" + std::to_string(info.sampleRate) + ")"); }

void TestOutput::close() { note("close"); }

void TestOutput::pump() {
  std::size_t size = block_.size();
  const bool more = attachedDecoder()->read(block_.data(), size);
  note("pump(" + std::to_string(size) + ")");
  if (!more) closeAndDetachDecoder();
  if (shape_.selfSignal) wakeEvent()->signal();
}

void TestOutput::pause(bool paused) { note(paused ? "pause" : "resume"); }

bool TestOutput::isDone() {
  const bool answer = done;
  note(answer ? "isDone:yes" : "isDone:no");
  return answer;
}

void TestOutput::reset() {
  note("reset");
  done = true;  // nothing held any more
}

void TestOutput::setVolume(int level) { note("setVolume(" + std::to_string(level) + ")"); }

void TestOutput::wake() { wakeEvent()->signal(); }

std::string describe(const PlayerNotification& notification) {
  switch (notification.number) {
    case PLAYER_NTF_STATE: {
      static const char* const kStates[] = {"?", "NO_STREAM", "PAUSED", "PLAYING", "STOPPED"};
      return std::string("STATE ") + (notification.first <= 4 ? kStates[notification.first] : "?");
    }
    case PLAYER_NTF_INFO:
      return "INFO " + std::to_string(notification.info ? notification.info->lengthSeconds : -1);
    case PLAYER_NTF_POSITION:
      return "POSITION " + std::to_string(notification.first);
    case PLAYER_NTF_PONG:
      return "PONG " + std::to_string(notification.first);
    case PLAYER_NTF_OUTPUT_NAME:
      return "OUTPUT_NAME " + std::to_string(notification.second) + " " + notification.name.value_or("(none)");
    default:
      return "? " + std::to_string(notification.number);
  }
}

}  // namespace tunekiln::test
