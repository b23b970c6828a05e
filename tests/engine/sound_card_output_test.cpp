// The sound card's block pool against a device the test drives.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <deque>

#include "engine/sound_card_output.h"
#include "engine/standard_slots.h"
#include "tests/engine/engine_doubles.h"

namespace tunekiln::test {
namespace {

using Lines = std::vector<std::string>;
constexpr std::size_t kBlock = SoundCardOutput::kBlockBytes;
constexpr StreamInfo kStereo16{.lengthSeconds = 10, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};

// Hands out the byte pattern of TestDecoder in reads of the sizes it is given, then ends.
class ScriptedDecoder final : public Decoder {
 public:
  explicit ScriptedDecoder(std::vector<std::size_t> sizes) : sizes_(std::move(sizes)) {}

  bool open(const std::string&) override { return true; }
  void close() override { closed = true; }
  void seek(std::uint32_t, std::uint32_t) override {}
  StreamInfo getInfo() override { return kStereo16; }
  bool read(std::uint8_t* buffer, std::size_t& size) override {
    ++reads;
    const std::size_t next = reads <= sizes_.size() ? sizes_[reads - 1] : 0;
    size = std::min(size, next);
    for (std::size_t i = 0; i < size; ++i) buffer[i] = static_cast<std::uint8_t>(handed + i);
    handed += size;
    return reads < sizes_.size();
  }
  std::int32_t getPosition() override { return 0; }

  std::size_t reads = 0;
  std::size_t handed = 0;
  bool closed = false;

 private:
  std::vector<std::size_t> sizes_;
};

// A device that queues blocks and finishes them only when the test says so.
class DeviceDouble final : public WaveOutDevice {
 public:
  DeviceDouble(CallLog& log, WakeEvent& wake) : log_(log), wake_(wake) {}
  ~DeviceDouble() override { log_.add("device.close"); }

  void write(WaveBlock& block) override {
    block.queued = true;
    queue.push_back(&block);
    written.push_back(&block);
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

  void openWith(Decoder& decoder) {
    output.open(decoder.getInfo());
    output.attach(&decoder);
  }

  // The pool index of every block written since `from`, in the order queued.
  std::vector<std::size_t> writtenIndexes(std::size_t from = 0) const {
    std::vector<std::size_t> indexes;
    for (std::size_t i = from; i < device->written.size(); ++i) {
      indexes.push_back(static_cast<std::size_t>(device->written[i]->data - device->written[0]->data) / kBlock);
    }
    return indexes;
  }

  // True when the blocks written since `from` hold the stream's bytes from `offset` on, in order.
  bool carriesStream(std::size_t from, std::size_t offset) const {
    for (std::size_t i = from; i < device->written.size(); ++i) {
      const WaveBlock& block = *device->written[i];
      for (std::size_t byte = 0; byte < block.length; ++byte) {
        if (block.data[byte] != static_cast<std::uint8_t>(offset + byte)) return false;
      }
      offset += block.length;
    }
    return true;
  }

  CallLog log;
  std::optional<DeviceFailure> refuse;
  std::vector<DeviceFailure> failures;
  std::vector<std::optional<VolumeWord>> startVolumes;
  DeviceDouble* device = nullptr;
  SoundCardOutput output;
};

TEST_F(SoundCardPool, PumpFillsEveryFreeBlockInIndexOrderWithTheStreamInOrder) {
  ScriptedDecoder decoder(std::vector<std::size_t>(100, kBlock));
  openWith(decoder);
  ASSERT_NE(output.wakeEvent(), nullptr);
  output.pump();
  EXPECT_EQ(writtenIndexes(), (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  output.pump();
  EXPECT_EQ(device->written.size(), 16u) << "every block is still queued";

  device->finish(2);
  EXPECT_TRUE(output.wakeEvent()->consume()) << "a finished block wakes the engine";
  output.pump();
  EXPECT_EQ(writtenIndexes(16), (std::vector<std::size_t>{0, 1}));

  // The queue now runs 2..15, 0, 1: with all but block 1 back, the refill still goes by index.
  device->finish(15);
  output.pump();
  EXPECT_EQ(writtenIndexes(18), (std::vector<std::size_t>{0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_TRUE(carriesStream(0, 0)) << "no byte lost, repeated or reordered";
  EXPECT_FALSE(output.isDone());
  output.close();
}

TEST_F(SoundCardPool, AStreamShorterThanABlockIsOneShortBlockAndDoneOnlyWhenPlayed) {
  ScriptedDecoder decoder({1000});
  openWith(decoder);
  output.pump();
  ASSERT_EQ(device->written.size(), 1u);
  EXPECT_EQ(device->written[0]->length, 1000u);
  EXPECT_TRUE(decoder.closed);
  EXPECT_EQ(output.attachedDecoder(), nullptr) << "the end detaches the decoder";
  EXPECT_FALSE(output.isDone()) << "the block is still playing";
  device->finish(1);
  EXPECT_TRUE(output.isDone());
  output.close();
}

TEST_F(SoundCardPool, TheEndStopsTheFillingAndEmptyReadsAreTriedAgain) {
  // The second read gives nothing but the stream goes on; the fourth is the end, with bytes.
  ScriptedDecoder decoder({kBlock, 0, kBlock, kBlock / 2});
  openWith(decoder);
  output.pump();
  EXPECT_EQ(writtenIndexes(), (std::vector<std::size_t>{0, 2, 3}));
  EXPECT_EQ(device->written[2]->length, kBlock / 2);
  EXPECT_EQ(decoder.reads, 4u) << "no block is filled after the end";
  EXPECT_TRUE(carriesStream(0, 0));
  output.close();
}

TEST_F(SoundCardPool, ResetWhilePausedResumesTheDeviceBeforeDroppingEveryBlock) {
  ScriptedDecoder decoder(std::vector<std::size_t>(100, kBlock));
  openWith(decoder);
  output.pump();
  output.pause(true);
  output.reset();
  EXPECT_EQ(log.calls(), (Lines{"device.pause", "device.restart", "device.reset"}));
  EXPECT_TRUE(output.isDone()) << "every block came back";
  output.pump();
  EXPECT_EQ(device->written.size(), 32u) << "the whole pool is filled again";
  EXPECT_TRUE(carriesStream(16, 16 * kBlock));
  output.pause(false);
  output.close();
  EXPECT_EQ(log.calls(), (Lines{"device.pause", "device.restart", "device.reset", "device.restart", "device.restart",
                                "device.reset", "device.close"}));
}

TEST_F(SoundCardPool, VolumeWordsAreLevelTimes656CappedOnBothChannels) {
  EXPECT_EQ(SoundCardOutput::volume_word(100), 0xFFFFFFFFu) << "65535, not 65600";
  EXPECT_EQ(SoundCardOutput::volume_word(50), 32800u | 32800u << 16);
  EXPECT_EQ(SoundCardOutput::volume_word(0), 0u);
  EXPECT_EQ(SoundCardOutput::volume_word(0xFFFFFFFFu), 0xFFFFFFFFu) << "no overflow";

  output.open(kStereo16);
  output.setVolume(50);
  output.setVolume(static_cast<int>(0xFFFFFFFFu));  // a level the engine got as an unsigned number
  EXPECT_EQ(log.calls(), (Lines{"device.setVolume(" + std::to_string(32800u | 32800u << 16) + ")",
                                "device.setVolume(4294967295)"}));
  output.setVolume(0);
  output.close();
  output.open(kStereo16);
  output.close();
  ASSERT_EQ(startVolumes.size(), 2u);
  EXPECT_EQ(startVolumes[0], std::nullopt) << "the device's own volume at first";
  EXPECT_EQ(startVolumes[1], VolumeWord{0}) << "the device keeps its volume from one opening to the next";
}

TEST_F(SoundCardPool, WithoutADeviceNothingPlaysAndTheOutputIsDone) {
  refuse = DeviceFailure::formatRefused;
  ScriptedDecoder decoder({kBlock, kBlock});
  openWith(decoder);
  EXPECT_EQ(failures, std::vector<DeviceFailure>{DeviceFailure::formatRefused});
  output.pump();
  output.pause(true);
  output.reset();
  output.setVolume(50);
  EXPECT_EQ(decoder.reads, 0u);
  EXPECT_TRUE(output.isDone());
  EXPECT_EQ(output.attachedDecoder(), &decoder) << "the engine keeps it open until STOP";
  output.close();
  output.open(kStereo16);
  EXPECT_EQ(startVolumes.back(), std::nullopt) << "a volume never applied is not remembered";
}

TEST_F(SoundCardPool, ADeviceThatGoesAwayIsLetGoAndReportedOnce) {
  ScriptedDecoder decoder(std::vector<std::size_t>(100, kBlock));
  openWith(decoder);
  output.pump();
  device->lost = true;
  EXPECT_TRUE(output.isDone()) << "nothing will come back from it";
  EXPECT_EQ(log.calls(), Lines{"device.close"});
  output.pump();
  output.reset();
  EXPECT_EQ(decoder.reads, 16u);
  EXPECT_EQ(failures, std::vector<DeviceFailure>{DeviceFailure::serverGone});
  output.close();
  EXPECT_EQ(log.calls(), Lines{"device.close"});
}

int nice_value() {
  errno = 0;
  return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
}

TEST_F(SoundCardPool, TheThreadRunsAtRaisedPriorityWhileOpenAndAsBeforeAfterwards) {
  const int before = nice_value();
  output.open(kStereo16);
  const int whileOpen = nice_value();
  output.close();
  // To the top where that is allowed; elsewhere at least not lowered.
  const bool topAllowed = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -20) == 0;
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), before);
  if (topAllowed) {
    EXPECT_EQ(whileOpen, -20);
  } else {
    EXPECT_LE(whileOpen, before);
  }
  EXPECT_EQ(nice_value(), before);
}

}  // namespace
}  // namespace tunekiln::test
