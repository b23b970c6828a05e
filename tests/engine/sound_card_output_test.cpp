// The sound card's block pool against the device double, its volume words, and the failures it
// reports. What the real sound server makes of it is heard in the sound tests.
#include <gtest/gtest.h>

#include <deque>

#include "engine/sound_card_output.h"
#include "tests/support/engine_doubles.h"

namespace tunekiln::test {
namespace {

constexpr std::size_t kBlock = SoundCardOutput::kBlockBytes;
constexpr StreamInfo kStereo16{.lengthSeconds = 10, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};

// A sound card's device: it keeps the blocks it is given until the test finishes them. Whether
// a device is let go shows in the sound tests, where its stream must be gone at the end.
struct Device final : WaveOutDevice {
  explicit Device(WakeEvent& event) : wake(event) {}
  void write(WaveBlock& block) override {
    block.queued = true;
    queue.push_back(&block);
    played.insert(played.end(), block.data, block.data + block.length);
  }
  void pause() override {}
  void restart() override {}
  // Dropped blocks come back as finished
  void reset() override { finish(queue.size()); }
  void setVolume(VolumeWord volume) override { volumes.push_back(volume); }
  std::chrono::microseconds unheard() override { return {}; }
  bool gone() const override { return false; }
  // The device has played the oldest `count` queued blocks.
  void finish(std::size_t count) {
    for (; count > 0 && !queue.empty(); --count) {
      queue.front()->queued = false;
      queue.pop_front();
    }
    wake.signal();
  }

  WakeEvent& wake;
  std::deque<WaveBlock*> queue;
  // What every block held when it was queued
  Bytes played;
  std::vector<VolumeWord> volumes;
};

struct SoundCardPool : ::testing::Test {
  SoundCardPool() { output.reportTo(reports); }
  // Opens the output for a test stream of `bytes` and attaches its decoder.
  void play(std::size_t bytes, bool failsAtEnd = false) {
    decoder = std::make_unique<TestDecoder>("dec", log, std::map<std::string, TestStream>{
        {"in", {kStereo16, bytes, failsAtEnd}}});
    decoder->open(OpenedFile{"in"});
    output.open(kStereo16);
    output.attach(decoder.get());
  }
  std::vector<std::string> failures() {
    std::vector<std::string> words;
    while (auto n = reports.poll()) words.push_back(describe(*n));
    return words;
  }

  CallLog log;
  NotificationQueue reports;
  std::unique_ptr<TestDecoder> decoder;
  // The device opened last, and the volume it was opened with
  Device* device = nullptr;
  std::optional<VolumeWord> startVolume;
  // Why the next device does not open
  std::optional<DeviceFailure> refusal;
  SoundCardOutput output{[this](const WaveFormat&, WakeEvent& wake, std::optional<VolumeWord> volume) {
    if (refusal) return DeviceOpening{nullptr, *refusal};
    startVolume = volume;
    auto opened = std::make_unique<Device>(wake);
    device = opened.get();
    return DeviceOpening{std::move(opened)};
  }};
};

TEST_F(SoundCardPool, RefillsFinishedBlocksToTheEnd) {
  // Ending inside a block, with a failed read that still brings its bytes; a stream that ends
  // well is played to its last frame in the sound tests.
  const std::size_t bytes = 33 * kBlock + kBlock / 2;
  play(bytes, true);
  for (std::size_t pumps = 0;; ++pumps) {
    output.pump();
    if (output.attachedDecoder() == nullptr) break;
    EXPECT_EQ(device->queue.size(), 16u) << "the whole pool is queued";
    device->finish(pumps % 2 == 0 ? 2 : 15);
  }
  EXPECT_EQ(device->played, stream_bytes(bytes)) << "no byte lost, repeated or reordered";
  EXPECT_EQ(log.callsOf("dec.close").size(), 1u) << "the end closes the decoder";
  EXPECT_EQ(failures(), std::vector<std::string>{"READ_FAILED"});
  EXPECT_FALSE(output.isDone()) << "the last blocks are still playing";
  device->finish(16);
  EXPECT_TRUE(output.isDone());
  output.close();
}

TEST_F(SoundCardPool, LevelsOnBothChannelsAndTheNextDevicesStart) {
  play(kBlock);
  // A level the engine got as an unsigned number does not overflow.
  for (const int level : {1, 100, static_cast<int>(0xFFFFFFFFu), 50}) output.setVolume(level);
  const std::vector<VolumeWord> channel{656, 0xFFFF, 0xFFFF, 32800};
  ASSERT_EQ(device->volumes.size(), channel.size());
  for (std::size_t i = 0; i < channel.size(); ++i) EXPECT_EQ(device->volumes[i], channel[i] * 0x10001);
  output.close();
  output.open(kStereo16);
  EXPECT_EQ(startVolume, 32800 * 0x10001u);
  output.close();
}

// A server that goes away while playing is the sound tests' matter; a device that is not there
// takes the same path here.
TEST_F(SoundCardPool, ARefusedDeviceIsReportedOnce) {
  refusal = DeviceFailure::formatRefused;
  play(2 * kBlock);
  output.pump();
  output.setVolume(50);
  EXPECT_EQ(decoder->handed(), 0u);
  EXPECT_TRUE(output.isDone());
  EXPECT_EQ(output.attachedDecoder(), decoder.get()) << "the engine keeps it open until STOP";
  EXPECT_EQ(failures(), std::vector<std::string>{"FORMAT_REFUSED"});
  output.close();
}

}  // namespace
}  // namespace tunekiln::test
