// The sound card's block pool against the device double, its volume words, and the failures it
// reports. What the real sound server makes of it is heard in the sound tests.
#include <gtest/gtest.h>

#include "engine/sound_card_output.h"
#include "tests/support/engine_doubles.h"

namespace tunekiln::test {
namespace {

constexpr std::size_t kBlock = SoundCardOutput::kBlockBytes;
constexpr StreamInfo kStereo16{.lengthSeconds = 10, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};

struct SoundCardPool : ::testing::Test {
  SoundCardPool() { output.reportTo(reports); }
  // Opens the output for a test stream of `bytes` and attaches its decoder.
  void play(std::size_t bytes, bool failsAtEnd = false) {
    decoder = std::make_unique<TestDecoder>("dec", log, std::map<std::string, TestStream>{
        {"in", {kStereo16, bytes, failsAtEnd}}});
    decoder->open("in");
    output.open(kStereo16);
    output.attach(decoder.get());
  }
  std::vector<std::string> failures() {
    std::vector<std::string> words;
    while (auto n = reports.poll()) words.push_back(describe(*n));
    return words;
  }

  CallLog log;
  DeviceDoubles devices;
  NotificationQueue reports;
  std::unique_ptr<TestDecoder> decoder;
  SoundCardOutput output{devices.opener()};
};

TEST_F(SoundCardPool, RefillsEveryFinishedBlockAndPlaysTheWholeStream) {
  // Ending inside a block, and with a failed read that still brings its bytes.
  for (const bool failsAtEnd : {false, true}) {
    const std::size_t bytes = failsAtEnd ? 3 * kBlock : 33 * kBlock + kBlock / 2;
    play(bytes, failsAtEnd);
    for (std::size_t pumps = 0;; ++pumps) {
      output.pump();
      if (output.attachedDecoder() == nullptr) break;
      EXPECT_EQ(devices.last->queue.size(), 16u) << "the whole pool is queued";
      devices.last->finish(pumps % 2 == 0 ? 2 : 15);
    }
    EXPECT_EQ(devices.last->played, stream_bytes(bytes)) << "no byte lost, repeated or reordered";
    EXPECT_EQ(log.callsOf("dec.close").size(), 1u + failsAtEnd) << "the end closes the decoder";
    EXPECT_EQ(failures(), failsAtEnd ? std::vector<std::string>{"READ_FAILED"} : std::vector<std::string>{});
    EXPECT_FALSE(output.isDone()) << "the last blocks are still playing";
    devices.last->finish(16);
    EXPECT_TRUE(output.isDone());
    output.close();
    EXPECT_EQ(devices.open, 0);
  }
}

TEST_F(SoundCardPool, LevelsOnBothChannelsAndTheNextDeviceStartsAtTheLast) {
  play(kBlock);
  // A level the engine got as an unsigned number does not overflow.
  for (const int level : {0, 1, 99, 100, static_cast<int>(0xFFFFFFFFu), 50}) output.setVolume(level);
  const std::vector<VolumeWord> channel{0, 656, 64944, 0xFFFF, 0xFFFF, 32800};
  ASSERT_EQ(devices.last->volumes.size(), channel.size());
  for (std::size_t i = 0; i < channel.size(); ++i) EXPECT_EQ(devices.last->volumes[i], channel[i] * 0x10001);
  output.close();
  output.open(kStereo16);
  EXPECT_EQ(devices.startVolume, 32800 * 0x10001u);
  output.close();
}

TEST_F(SoundCardPool, ADeviceLostOrRefusedIsReportedOnce) {
  play(100 * kBlock);
  output.pump();
  devices.last->lost = true;
  EXPECT_TRUE(output.isDone()) << "nothing will come back from it";
  output.pump();
  output.reset();
  EXPECT_EQ(decoder->handed(), 16 * kBlock);
  EXPECT_EQ(devices.open, 0) << "let go at once";
  EXPECT_EQ(failures(), std::vector<std::string>{"SOUND_SERVER_GONE"});
  output.close();

  // No sound server at all is told through the command line's play, in its tests.
  devices.refusal = DeviceFailure::formatRefused;
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
