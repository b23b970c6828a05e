// The sound card's block pool against the device double, and the failures it reports.
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
  void play(std::size_t bytes) {
    decoder = std::make_unique<TestDecoder>("dec", log, std::map<std::string, TestStream>{{"in", {kStereo16, bytes}}});
    decoder->open("in");
    output.open(kStereo16);
    output.attach(decoder.get());
  }
  std::vector<std::string> failures() {
    std::vector<std::string> lines;
    while (auto n = reports.poll()) lines.push_back(describe(*n));
    return lines;
  }

  CallLog log;
  DeviceDoubles devices;
  NotificationQueue reports;
  std::unique_ptr<TestDecoder> decoder;
  SoundCardOutput output{devices.opener()};
};

TEST_F(SoundCardPool, EveryFinishedBlockIsRefilledAndTheStreamPlaysWholeInOrder) {
  play(33 * kBlock + kBlock / 2);
  for (std::size_t pumps = 0;; ++pumps) {
    output.pump();
    if (output.attachedDecoder() == nullptr) break;
    EXPECT_EQ(devices.last->queue.size(), 16u) << "the whole pool is queued";
    devices.last->finish(pumps % 2 == 0 ? 2 : 15);  // blocks come back in twos and fifteens
    EXPECT_TRUE(output.wakeEvent()->consume()) << "a finished block wakes the engine";
  }
  EXPECT_EQ(devices.last->played, stream_bytes(33 * kBlock + kBlock / 2)) << "no byte lost, repeated or reordered";
  EXPECT_EQ(log.callsOf("dec.close").size(), 1u) << "the end detaches and closes the decoder";
  EXPECT_FALSE(output.isDone()) << "the last blocks are still playing";
  devices.last->finish(16);
  EXPECT_TRUE(output.isDone());
  // 100 gives 65535, not 65600; a level the engine got as an unsigned number does not overflow.
  for (const int level : {100, 50, static_cast<int>(0xFFFFFFFFu)}) output.setVolume(level);
  EXPECT_EQ(devices.last->volumes, (std::vector<VolumeWord>{0xFFFFFFFF, 32800u | 32800u << 16, 0xFFFFFFFF}));
  output.close();
  EXPECT_EQ(devices.open, 0);
  EXPECT_EQ(failures(), std::vector<std::string>{});
}

TEST_F(SoundCardPool, ADeviceThatGoesAwayOrNeverOpensIsReportedOnceAndPlaysNothing) {
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

  for (const auto& [failure, reported] : {std::pair{DeviceFailure::noServer, "NO_SOUND_SERVER"}, {DeviceFailure::formatRefused, "FORMAT_REFUSED"}}) {
    devices.refusal = [failure](const WaveFormat&) { return std::optional(failure); };
    play(2 * kBlock);
    output.pump();
    output.pause(true);
    output.setVolume(50);
    EXPECT_EQ(decoder->handed(), 0u);
    EXPECT_TRUE(output.isDone());
    EXPECT_EQ(output.attachedDecoder(), decoder.get()) << "the engine keeps it open until STOP";
    EXPECT_EQ(failures(), std::vector<std::string>{reported});
    output.close();
  }
}

}  // namespace
}  // namespace tunekiln::test
