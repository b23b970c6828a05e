// The sound card's block pool against a device the test drives.
#include <gtest/gtest.h>

#include <deque>

#include "engine/sound_card_output.h"
#include "tests/engine/engine_doubles.h"

namespace tunekiln::test {
namespace {

using Lines = std::vector<std::string>;
using Indexes = std::vector<std::size_t>;
constexpr std::size_t kBlock = SoundCardOutput::kBlockBytes;
constexpr StreamInfo kStereo16{.lengthSeconds = 10, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};

// A device that queues blocks and finishes them only when the test says so.
class DeviceDouble final : public WaveOutDevice {
 public:
  DeviceDouble(CallLog& log, WakeEvent& wake) : log_(log), wake_(wake) {}
  ~DeviceDouble() override { log_.add("device.close"); }

  void write(WaveBlock& block) override {
    block.queued = true;
    queue.push_back(&block);
    written.push_back(&block);
    played.insert(played.end(), block.data, block.data + block.length);
  }
  void pause() override { log_.add("device.pause"); }
  void restart() override { log_.add("device.restart"); }
  void reset() override {
    log_.add("device.reset");
    for (WaveBlock* block : queue) block->queued = false;
    queue.clear();
  }
  void setVolume(VolumeWord volume) override { log_.add("device.setVolume(" + std::to_string(volume) + ")"); }
  bool gone() const override { return lost; }
  std::chrono::microseconds unheard() override { return {}; }

  // The device has played the oldest `count` queued blocks.
  void finish(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      queue.front()->queued = false;
      queue.pop_front();
    }
    wake_.signal();
  }

  std::deque<WaveBlock*> queue;
  std::vector<WaveBlock*> written;  // every block queued, in order
  Bytes played;                     // what every block held when it was queued
  std::atomic<bool> lost{false};

 private:
  CallLog& log_;
  WakeEvent& wake_;
};

class SoundCardPool : public ::testing::Test {
 protected:
  SoundCardPool()
      : output([this](DeviceFailure failure) { failures.push_back(failure); },
               [this](const WaveFormat&, WakeEvent& wake, std::optional<VolumeWord> volume) {
                 startVolumes.push_back(volume);
                 if (refuse) return DeviceOpening{nullptr, *refuse};
                 auto opened = std::make_unique<DeviceDouble>(log, wake);
                 device = opened.get();
                 return DeviceOpening{std::move(opened)};
               }) {}

  // Opens the output for a test stream of `bytes` and attaches its decoder.
  void play(std::size_t bytes) {
    decoder = std::make_unique<TestDecoder>("dec", log, std::map<std::string, TestStream>{{"in", {kStereo16, bytes}}});
    decoder->open("in");
    output.open(kStereo16);
    output.attach(decoder.get());
  }

  // The pool index of every block queued since the `from`th, in the order queued.
  Indexes writtenIndexes(std::size_t from) const {
    Indexes indexes;
    for (std::size_t i = from; i < device->written.size(); ++i) {
      indexes.push_back(static_cast<std::size_t>(device->written[i]->data - device->written[0]->data) / kBlock);
    }
    return indexes;
  }

  CallLog log;
  std::optional<DeviceFailure> refuse;
  std::vector<DeviceFailure> failures;
  std::vector<std::optional<VolumeWord>> startVolumes;
  DeviceDouble* device = nullptr;
  std::unique_ptr<TestDecoder> decoder;
  SoundCardOutput output;
};

TEST_F(SoundCardPool, PumpRefillsEveryFinishedBlockInIndexOrderAndEndsWithAShortBlock) {
  play(33 * kBlock + kBlock / 2);
  output.pump();
  EXPECT_EQ(writtenIndexes(0), (Indexes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  output.pump();
  EXPECT_EQ(device->written.size(), 16u) << "every block is still queued";
  device->finish(2);
  EXPECT_TRUE(output.wakeEvent()->consume()) << "a finished block wakes the engine";
  output.pump();
  EXPECT_EQ(writtenIndexes(16), (Indexes{0, 1}));
  // The queue now runs 2..15, 0, 1: with all but block 1 back, the refill still goes by index.
  device->finish(15);
  output.pump();
  EXPECT_EQ(writtenIndexes(18), (Indexes{0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));

  device->finish(16);
  output.pump();
  EXPECT_EQ(writtenIndexes(33), Indexes{0});
  EXPECT_EQ(device->played, stream_bytes(33 * kBlock + kBlock / 2)) << "no byte lost, repeated or reordered";
  EXPECT_EQ(output.attachedDecoder(), nullptr) << "the end detaches the decoder";
  EXPECT_EQ(log.callsOf("dec.close").size(), 1u);
  EXPECT_FALSE(output.isDone()) << "the last block is still playing";
  device->finish(1);
  EXPECT_TRUE(output.isDone());
  output.close();
}

TEST_F(SoundCardPool, ResetWhilePausedResumesTheDeviceBeforeDroppingEveryBlock) {
  play(100 * kBlock);
  output.pump();
  output.pause(true);
  output.reset();
  EXPECT_EQ(log.callsOf("device"), (Lines{"device.pause", "device.restart", "device.reset"}));
  EXPECT_TRUE(output.isDone()) << "every block came back";
  output.pump();
  EXPECT_EQ(device->played, stream_bytes(32 * kBlock)) << "the whole pool is filled again with what follows";
  output.pause(false);
  output.close();
  EXPECT_EQ(log.callsOf("device"), (Lines{"device.pause", "device.restart", "device.reset", "device.restart",
                                          "device.restart", "device.reset", "device.close"}));
}

TEST_F(SoundCardPool, VolumeWordsAreLevelTimes656CappedOnBothChannels) {
  output.open(kStereo16);
  // 100 gives 65535, not 65600; a level the engine got as an unsigned number does not overflow.
  for (const int level : {100, 50, static_cast<int>(0xFFFFFFFFu), 0}) output.setVolume(level);
  const std::string half = "device.setVolume(" + std::to_string(32800u | 32800u << 16) + ")";
  EXPECT_EQ(log.calls(), (Lines{"device.setVolume(4294967295)", half, "device.setVolume(4294967295)", "device.setVolume(0)"}));
  output.close();
  output.open(kStereo16);
  output.close();
  EXPECT_EQ(startVolumes, (std::vector<std::optional<VolumeWord>>{std::nullopt, VolumeWord{0}}))
      << "the device's own volume at first, then the one it had at its last opening";
}

TEST_F(SoundCardPool, ADeviceThatGoesAwayOrNeverOpensPlaysNothingAndIsDone) {
  play(100 * kBlock);
  output.pump();
  device->lost = true;
  EXPECT_TRUE(output.isDone()) << "nothing will come back from it";
  EXPECT_EQ(log.callsOf("device"), Lines{"device.close"});
  output.pump();
  output.reset();
  EXPECT_EQ(decoder->handed(), 16 * kBlock);
  EXPECT_EQ(failures, std::vector<DeviceFailure>{DeviceFailure::serverGone}) << "reported once";
  output.close();
  EXPECT_EQ(log.callsOf("device"), Lines{"device.close"});

  refuse = DeviceFailure::formatRefused;
  play(2 * kBlock);
  EXPECT_EQ(failures.back(), DeviceFailure::formatRefused);
  output.pump();
  output.pause(true);
  output.reset();
  output.setVolume(50);
  EXPECT_EQ(decoder->handed(), 0u);
  EXPECT_TRUE(output.isDone());
  EXPECT_EQ(output.attachedDecoder(), decoder.get()) << "the engine keeps it open until STOP";
  output.close();
  output.open(kStereo16);
  EXPECT_EQ(startVolumes.back(), std::nullopt) << "a volume never applied is not remembered";
}

}  // namespace
}  // namespace tunekiln::test
