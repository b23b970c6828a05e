// The waveform's envelope of a real file, read through the player's decoders.
#include "engine/waveform_envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>

#include "engine/standard_slots.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

TEST(WaveformEnvelope, ColumnsOfAFileWhoseSecondHalfIsASquareWave) {
  // 1.536 s at 8000 Hz: the header's whole seconds promise fewer frames than come, so the buckets
  // are merged on the way; the loud half starts at a frame that no merging splits.
  constexpr std::size_t kFrames = 12288;
  const struct {
    std::uint16_t channels, bits;
    std::size_t width;
  } rows[] = {{2, 16, 700}, {1, 16, 1}, {1, 8, 333}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.channels << "x" << row.bits << " " << row.width);
    const WavShape shape{.channels = row.channels, .sampleRate = 8000, .bits = row.bits};
    const int unit = row.bits == 16 ? 1 : 256;  // of a 16-bit sample
    const int top = 32767 / unit, bottom = -top - 1;
    std::vector<double> values;
    for (std::size_t frame = 0; frame < kFrames; ++frame) {
      const int left = frame < kFrames / 2 ? 0 : frame % 2 ? top : bottom;
      values.push_back(left);
      if (row.channels == 2) values.push_back(std::floor(left / 2.0));  // tells the channels apart
    }
    TempDir dir;
    write_file(dir.file("a.wav"), make_wav(shape, encode_samples(shape, values)));
    std::mutex mutex;
    std::condition_variable grew;
    EnvelopeScan scan(dir.file("a.wav"), standard_decoders(), [&] {
      std::lock_guard lock(mutex);
      grew.notify_all();
    });
    const auto& envelope = *scan.envelope();
    std::unique_lock lock(mutex);
    // Every frame read; the limit only keeps a broken scan from hanging the suite.
    const auto allRead = [&] { return envelope.lengthMilliseconds() == 1536; };
    ASSERT_TRUE(grew.wait_for(lock, std::chrono::seconds(20), allRead));

    const auto columns = envelope.columns(row.width);
    for (std::size_t column = 0; column < row.width; ++column) {
      const bool loud = (column + 1) * kFrames / row.width > kFrames / 2;  // holds a frame of the loud half
      const auto range = [&](double divisor) {
        return loud ? SampleRange{std::int16_t(std::floor(bottom / divisor) * unit),
                                  std::int16_t(std::floor(top / divisor) * unit)}
                    : SampleRange{};
      };
      EXPECT_TRUE(columns[column].read);
      EXPECT_EQ(columns[column].channels[0], range(1)) << column;
      if (row.channels == 2) {
        EXPECT_EQ(columns[column].channels[1], range(2)) << column;
      }
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
