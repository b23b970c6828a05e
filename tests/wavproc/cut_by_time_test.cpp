#include "tests/wavproc/wav_operation_fixture.h"
#include "wavproc/wav_texts.h"

namespace tunekiln::test {
namespace {

namespace texts = wav_texts;
using CutByTimeTest = WavOperationTest;

constexpr std::size_t kSecond = 176400;  // 44.1 kHz 16-bit stereo

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) { return Bytes(bytes.begin() + from, bytes.begin() + to); }

TEST_F(CutByTimeTest, CopiesTheWholeFramesOfTheRangeBehindTheHeader) {
  const Bytes samples = ramp_bytes(20 * kSecond);
  givenInput(make_wav({.bytesAfterData = make_chunk("LIST", Bytes(100, 'x'))}, samples));
  userCuts({"0", "0", "3", "0", "0", "7"});
  ASSERT_EQ(CutByTime(host), Outcome::finished);

  const Bytes out = output();
  ASSERT_EQ(out.size(), 44 + 4 * kSecond);
  EXPECT_EQ(slice(out, 44, out.size()), slice(samples, 3 * kSecond, 7 * kSecond));
  EXPECT_EQ(le32(out, 40), 4 * kSecond);
  EXPECT_EQ(le32(out, 4), out.size() - 8);
  EXPECT_EQ(slice(out, 8, 40), slice(read_file(inputPath), 8, 40));
  EXPECT_EQ(host.messages, std::vector<std::string>{"cut the file finished!"});

  // Progress runs over the copied span.
  const auto step = static_cast<std::int32_t>(1000000.0f / static_cast<float>(4 * kSecond) * 16384.0f);
  ASSERT_EQ(host.positions.size(), 1 + 4 * kSecond / 16384 + 1);
  EXPECT_EQ(host.positions[1], step);
  EXPECT_EQ(host.positions.back(), 1000000);
}

TEST_F(CutByTimeTest, EndOfZeroMeansTheEndOfTheData) {
  const Bytes samples = ramp_bytes(3 * kSecond);
  givenInput(make_wav({.bytesAfterData = make_chunk("LIST", Bytes(10, 'x'))}, samples));
  userCuts({"0", "0", "1", "0", "0", "0"});
  ASSERT_EQ(CutByTime(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), slice(samples, kSecond, samples.size()));

  userCuts({"0", "0", "0", "0", "0", "0"});
  ASSERT_EQ(CutByTime(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples);
}

TEST_F(CutByTimeTest, RangeBeyondTheDataIsClamped) {
  const Bytes samples = ramp_bytes(2 * kSecond + 6);  // ends inside a frame
  givenInput(make_wav({}, samples));
  userCuts({"0", "0", "1", "1", "0", "0"});
  ASSERT_EQ(CutByTime(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), slice(samples, kSecond, 2 * kSecond + 4));

  userCuts({"0", "0", "5", "0", "0", "9"});
  ASSERT_EQ(CutByTime(host), Outcome::finished);
  EXPECT_TRUE(outputSamples().empty());
  EXPECT_EQ(le32(output(), 40), 0u);
}

TEST_F(CutByTimeTest, OffsetsAreRoundedDownToWholeFrames) {
  // A byte rate that is not a multiple of the frame size must not start a cut mid-frame,
  // which would swap the channels.
  const Bytes samples = ramp_bytes(4 * 1001);
  givenInput(make_wav({.byteRate = 1001}, samples));
  userCuts({"0", "0", "1", "0", "0", "3"});
  ASSERT_EQ(CutByTime(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), slice(samples, 1000, 3000));
}

TEST_F(CutByTimeTest, EightBitMonoIsCutInSingleBytes) {
  const Bytes samples = ramp_bytes(3 * 8000);
  givenInput(make_wav({.channels = 1, .sampleRate = 8000, .bits = 8, .extensionSizeField = true}, samples));
  userCuts({"0", "0", "1", "0", "0", "2"});
  ASSERT_EQ(CutByTime(host), Outcome::finished);
  const Bytes out = output();
  EXPECT_EQ(slice(out, 46, out.size()), slice(samples, 8000, 16000));
  EXPECT_EQ(le32(out, 42), 8000u);
}

TEST_F(CutByTimeTest, FileWithoutByteRateOrChannelsIsRefused) {
  givenInput(make_wav({.byteRate = 0}, Bytes(100, 0)));
  userCuts({"0", "0", "0", "0", "0", "1"});
  EXPECT_EQ(CutByTime(host), Outcome::failed);
  givenInput(make_wav({.channels = 0}, Bytes(100, 0)));
  EXPECT_EQ(CutByTime(host), Outcome::failed);
  EXPECT_EQ(host.messages, std::vector<std::string>(2, std::string(texts::kNotSupported)));
  EXPECT_FALSE(outputExists());
}

TEST_F(CutByTimeTest, SampleWidthIsCheckedBeforeTheDialog) {
  givenInput(make_wav({.bits = 24}, Bytes(12, 0)));
  EXPECT_EQ(CutByTime(host), Outcome::failed);
  EXPECT_EQ(host.parameterDialogsShown, 0);
  EXPECT_EQ(host.messages.back(), texts::kOnly8Or16Bits);
}

TEST_F(CutByTimeTest, CancelInTheDialogLeavesNoFile) {
  givenInput(make_wav({}, Bytes(100, 0)));
  host.cutDialog = [] { return false; };
  EXPECT_EQ(CutByTime(host), Outcome::cancelled);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(outputExists());
}

}  // namespace
}  // namespace tunekiln::test
