#include "tests/wavproc/wav_operation_fixture.h"
#include "wavproc/wav_texts.h"

namespace tunekiln::test {
namespace {

namespace texts = wav_texts;
using ChangeVolumeTest = WavOperationTest;

TEST_F(ChangeVolumeTest, ScalesTruncatesTowardZeroAndClips) {
  givenInput(make_wav({}, samples16({-3, 3, 16384, -16384, 20000, -20000, 0, 1})));
  userTypesMultiple("0.5");
  ASSERT_EQ(ChangeVolume(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples16({-1, 1, 8192, -8192, 10000, -10000, 0, 0}));

  userTypesMultiple("2");
  ASSERT_EQ(ChangeVolume(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples16({-6, 6, 32767, -32768, 32767, -32768, 0, 2}));
  EXPECT_EQ(host.messages.back(), "change volume  finished!");
}

TEST_F(ChangeVolumeTest, MultipleOfOneKeepsTheFileAndZeroSilencesIt) {
  const Bytes input = make_wav({.channels = 1}, ramp_bytes(4000));  // mono is accepted
  givenInput(input);
  userTypesMultiple("1");
  ASSERT_EQ(ChangeVolume(host), Outcome::finished);
  EXPECT_EQ(output(), input);

  userTypesMultiple("0");
  ASSERT_EQ(ChangeVolume(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), Bytes(4000, 0));
}

TEST_F(ChangeVolumeTest, AFactorBeyondFloatRangeSaturatesAndKeepsSilence) {
  givenInput(make_wav({}, samples16({0, 1, -1, 0})));
  userTypesMultiple("1" + std::string(60, '0'));
  ASSERT_EQ(ChangeVolume(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples16({0, 32767, -32768, 0}));
}

TEST_F(ChangeVolumeTest, EightBitSamplesScaleAroundTheMiddleLine) {
  givenInput(make_wav({.channels = 1, .bits = 8}, samples8({128, 129, 127, 200, 100, 0, 255})));
  userTypesMultiple("2");
  ASSERT_EQ(ChangeVolume(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples8({128, 130, 126, 255, 72, 0, 255}));

  userTypesMultiple("0.5");
  ASSERT_EQ(ChangeVolume(host), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples8({128, 128, 128, 164, 114, 64, 191}));
}

TEST_F(ChangeVolumeTest, SampleWidthIsCheckedBeforeTheDialogAndChannelsAfter) {
  givenInput(make_wav({.bits = 24}, Bytes(12, 0)));
  EXPECT_EQ(ChangeVolume(host), Outcome::failed);
  EXPECT_EQ(host.parameterDialogsShown, 0);

  givenInput(make_wav({.channels = 3}, Bytes(12, 0)));
  userTypesMultiple("2");
  EXPECT_EQ(ChangeVolume(host), Outcome::failed);
  EXPECT_EQ(host.parameterDialogsShown, 1);
  EXPECT_EQ(host.messages, (std::vector<std::string>{std::string(texts::kOnly8Or16Bits),
                                                     std::string(texts::kNotSupported)}));
  EXPECT_FALSE(outputExists());
}

TEST_F(ChangeVolumeTest, CancelInTheDialogLeavesNoFileAndNoMessage) {
  givenInput(make_wav({}, samples16({1, 2})));
  host.volumeDialog = [] { return false; };
  EXPECT_EQ(ChangeVolume(host), Outcome::cancelled);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(outputExists());
}

}  // namespace
}  // namespace tunekiln::test
