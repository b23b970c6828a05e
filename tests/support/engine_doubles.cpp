#include "tests/support/engine_doubles.h"

#include <algorithm>

namespace tunekiln::test {

void CallLog::add(std::string call) {
  std::unique_lock lock(mutex_);
  calls_.push_back(call);
  changed_.notify_all();
  if (holdAt_.empty() || call != holdAt_) return;
  held_ = true;
  changed_.wait(lock, [this] { return holdAt_.empty(); });
}

std::vector<std::string> CallLog::callsOf(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> matching = calls_;
  std::erase_if(matching, [&](const std::string& call) { return !call.starts_with(prefix); });
  return matching;
}

void CallLog::waitForMoreThan(std::size_t count, const std::string& prefix) {
  std::unique_lock lock(mutex_);
  const auto matching = [&] { return std::ranges::count_if(calls_, [&](const std::string& c) { return c.starts_with(prefix); }); };
  changed_.wait_for(lock, std::chrono::seconds(3), [&] { return static_cast<std::size_t>(matching()) > count; });
}

void CallLog::holdAt(std::string call) {
  std::lock_guard lock(mutex_);
  holdAt_ = std::move(call);
  held_ = false;
  changed_.notify_all();
}

void CallLog::waitUntilHeld() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return held_; });
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
  return stream_.failsAtEnd ? ReadResult::failed : ReadResult::end;  // the last bytes come with the end
}

std::int32_t TestDecoder::getPosition() {
  const auto bytesPerSecond = static_cast<std::size_t>(stream_.info.sampleRate) * (stream_.info.stereo ? 2 : 1) * (stream_.info.sixteenBit ? 2 : 1);
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
  log_.waitForMoreThan(before, name() + ".");  // what the pump brings is posted before the next command
}

void DeviceDouble::write(WaveBlock& block) {
  block.queued = true;
  queue.push_back(&block);
  played.insert(played.end(), block.data, block.data + block.length);
  if (playsAtOnce_ && !paused) finish(queue.size());
}

void DeviceDouble::finish(std::size_t count) {
  for (; count > 0 && !queue.empty(); --count) {
    queue.front()->queued = false;
    queue.pop_front();
  }
  wake_.signal();
}

SoundCardOutput::DeviceOpener DeviceDoubles::opener(bool playsAtOnce) {
  return [this, playsAtOnce](const WaveFormat& format, WakeEvent& wake, std::optional<VolumeWord>) {
    if (const auto failure = refusal(format)) return DeviceOpening{nullptr, *failure};
    auto device = std::make_unique<DeviceDouble>(wake, playsAtOnce, open);
    last = device.get();
    return DeviceOpening{std::move(device)};
  };
}

Decoded decode_all(Decoder& decoder, std::size_t blockBytes) {
  Decoded decoded;
  Bytes block(blockBytes);
  while (decoded.last == ReadResult::more) {
    std::size_t size = block.size();
    decoded.last = decoder.read(block.data(), size);
    decoded.pcm.insert(decoded.pcm.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
    decoded.readSizes.push_back(size);
  }
  return decoded;
}

std::string describe(const PlayerNotification& n) {
  static const std::map<std::uint32_t, std::string> kNames = {
      {PLAYER_NTF_STATE, "STATE"}, {PLAYER_NTF_INFO, "INFO"}, {PLAYER_NTF_POSITION, "POSITION"}, {PLAYER_NTF_PONG, "PONG"},
      {PLAYER_NTF_OUTPUT_NAME, "OUTPUT_NAME"}, {PLAYER_NTF_WRITE_FAILED, "WRITE_FAILED"}, {PLAYER_NTF_READ_FAILED, "READ_FAILED"},
      {PLAYER_NTF_NO_SOUND_SERVER, "NO_SOUND_SERVER"}, {PLAYER_NTF_FORMAT_REFUSED, "FORMAT_REFUSED"},
      {PLAYER_NTF_SOUND_SERVER_GONE, "SOUND_SERVER_GONE"}};
  static const char* const kStates[] = {"?", "NO_STREAM", "PAUSED", "PLAYING", "STOPPED"};
  const std::string name = kNames.contains(n.number) ? kNames.at(n.number) : "? " + std::to_string(n.number);
  if (n.number == PLAYER_NTF_STATE) return name + " " + (n.first <= 4 ? kStates[n.first] : "?");
  if (n.number == PLAYER_NTF_INFO) return name + " " + std::to_string(n.info ? n.info->lengthSeconds : -1);
  if (n.number == PLAYER_NTF_OUTPUT_NAME) return name + " " + std::to_string(n.second) + " " + n.name.value_or("(none)");
  const bool numbered = n.number == PLAYER_NTF_POSITION || n.number == PLAYER_NTF_PONG || n.number == PLAYER_NTF_WRITE_FAILED;
  return numbered ? name + " " + std::to_string(n.first) : name;
}

}  // namespace tunekiln::test
