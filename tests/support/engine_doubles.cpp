#include "tests/support/engine_doubles.h"

#include <algorithm>

namespace tunekiln::test {

void CallLog::add(std::string call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
  changed_.notify_all();
}

std::vector<std::string> CallLog::callsOf(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> matching = calls_;
  std::erase_if(matching, [&](const std::string& call) { return !call.starts_with(prefix); });
  return matching;
}

void CallLog::waitForMoreThan(std::size_t count, const std::string& prefix) {
  std::unique_lock lock(mutex_);
  const auto starts = [&](const std::string& call) { return call.starts_with(prefix); };
  changed_.wait_for(lock, std::chrono::seconds(3), [&] {
    return static_cast<std::size_t>(std::ranges::count_if(calls_, starts)) > count;
  });
}

bool TestDecoder::open(const std::string& name) {
  log_.add(who_ + ".open(" + name + ")");
  const auto found = streams_.find(name);
  if (found == streams_.end()) return false;
  stream_ = found->second;
  handed_ = 0;
  return true;
}

ReadResult TestDecoder::read(std::uint8_t* buffer, std::size_t& size) {
  size = std::min(size, stream_.bytes - handed_);
  for (std::size_t i = 0; i < size; ++i) buffer[i] = stream_byte(handed_ + i);
  handed_ += size;
  if (handed_ < stream_.bytes) return ReadResult::more;
  // The last bytes come with the end
  return stream_.failsAtEnd ? ReadResult::failed : ReadResult::end;
}

std::int32_t TestDecoder::getPosition() {
  const StreamInfo& info = stream_.info;
  const auto bytesPerSecond = std::size_t{1} * info.sampleRate * (info.stereo + 1) * (info.sixteenBit + 1);
  return static_cast<std::int32_t>(handed_ / bytesPerSecond);
}

void TestOutput::pump() {
  std::uint8_t block[4000];
  std::size_t size = sizeof block;
  const ReadResult result = attachedDecoder()->read(block, size);
  note("pump(" + std::to_string(size) + ")");
  if (result != ReadResult::more) closeAndDetachDecoder(result);
}

void TestOutput::wake() {
  const std::size_t before = log_.callsOf(name() + ".").size();
  wakeEvent()->signal();
  // What the pump brings is posted before the next command
  log_.waitForMoreThan(before, name() + ".");
}

Decoded decode_all(Decoder& decoder, std::size_t blockBytes) {
  Decoded decoded;
  Bytes block(blockBytes);
  while (decoded.last == ReadResult::more) {
    std::size_t size = block.size();
    decoded.last = decoder.read(block.data(), size);
    decoded.pcm.insert(decoded.pcm.end(), block.data(), block.data() + size);
  }
  return decoded;
}

std::string describe(const PlayerNotification& n) {
  static const std::map<std::uint32_t, std::string> kFailures = {
      {PLAYER_NTF_READ_FAILED, "READ_FAILED"}, {PLAYER_NTF_FORMAT_REFUSED, "FORMAT_REFUSED"},
      {PLAYER_NTF_SOUND_SERVER_GONE, "SOUND_SERVER_GONE"}};
  static const char* const kStates[] = {"?", "NO_STREAM", "PAUSED", "PLAYING", "STOPPED"};
  if (n.number == PLAYER_NTF_STATE) return kStates[n.first <= 4 ? n.first : 0];
  if (n.number == PLAYER_NTF_WRITE_FAILED) return "WRITE_FAILED " + std::to_string(n.first);
  return kFailures.contains(n.number) ? kFailures.at(n.number) : "? " + std::to_string(n.number);
}

}  // namespace tunekiln::test
