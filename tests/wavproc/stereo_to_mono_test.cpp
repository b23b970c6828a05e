// Channel extraction and voice clearing: stereo in, mono out.
#include "tests/wavproc/wav_operation_fixture.h"
#include "wavproc/wav_texts.h"

namespace tunekiln::test {
namespace {

namespace texts = wav_texts;
using StereoToMono = WavOperationTest;

TEST_F(StereoToMono, SixteenBitChannelsAreCopiedUnderAMonoHeader) {
  const Bytes input = make_wav({.sampleRate = 96000}, samples16({100, -100, 32767, -32768, 7, 8}));
  givenInput(input);
  ASSERT_EQ(ExtractChannel(host, Channel::left), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples16({100, 32767, 7}));
  EXPECT_EQ(host.messages.back(), texts::kLeftFinished);

  ASSERT_EQ(ExtractChannel(host, Channel::right), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples16({-100, -32768, 8}));
  EXPECT_EQ(host.messages.back(), texts::kRightFinished);

  const Bytes out = output();
  EXPECT_EQ(le16(out, 22), 1u);          // channels
  EXPECT_EQ(le32(out, 24), 96000u);      // sample rate, kept
  EXPECT_EQ(le32(out, 28), 192000u);     // byte rate beyond 16 bits
  EXPECT_EQ(le16(out, 32), 2u);          // block align
  EXPECT_EQ(le16(out, 34), 16u);         // bits, kept
  EXPECT_EQ(le32(out, 40), 6u);          // data size
  EXPECT_EQ(le32(out, 4), out.size() - 8);
  EXPECT_TRUE(std::equal(out.begin() + 12, out.begin() + 22, input.begin() + 12)) << "the rest of the header is kept";
}

TEST_F(StereoToMono, EightBitChannelsAreTheEvenAndOddBytes) {
  givenInput(make_wav({.sampleRate = 8000, .bits = 8}, samples8({1, 2, 3, 4, 5, 6})));
  ASSERT_EQ(ExtractChannel(host, Channel::left), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples8({1, 3, 5}));
  ASSERT_EQ(ExtractChannel(host, Channel::right), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples8({2, 4, 6}));
  EXPECT_EQ(le32(output(), 28), 8000u);
  EXPECT_EQ(le16(output(), 32), 1u);
}

TEST_F(StereoToMono, StereoIsCheckedBeforeTheSampleWidth) {
  givenInput(make_wav({.channels = 1, .bits = 24}, Bytes(6, 0)));
  EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::failed);
  givenInput(make_wav({.channels = 2, .bits = 24}, Bytes(6, 0)));
  EXPECT_EQ(ClearVoice(host), Outcome::failed);
  EXPECT_EQ(host.messages, (std::vector<std::string>{std::string(texts::kMustBeStereo),
                                                     std::string(texts::kOnly8Or16Bits)}));
  EXPECT_FALSE(outputExists());
}

TEST_F(StereoToMono, ClearVoiceWritesRightMinusLeftClipped) {
  givenInput(make_wav({}, samples16({500, 500, 1000, -1000, -1000, 1000, 32767, -32768, -32768, 32767})));
  ASSERT_EQ(ClearVoice(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples16({0, -2000, 2000, -32768, 32767}));
  EXPECT_EQ(le16(output(), 22), 1u);
  EXPECT_EQ(le32(output(), 40), 10u);
  EXPECT_EQ(host.messages.back(), "clear voice  finished!");
}

TEST_F(StereoToMono, ClearVoiceOnEightBitsWorksAroundTheMiddleLine) {
  // Equal channels are silence (128), not the byte 0; the extremes clip instead of wrapping.
  givenInput(make_wav({.bits = 8}, samples8({77, 77, 100, 110, 255, 0, 0, 255})));
  ASSERT_EQ(ClearVoice(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples8({128, 138, 0, 255}));
}

}  // namespace
}  // namespace tunekiln::test
