// The run every WAV operation shares: dialogs, files, header checks, the data marker,
// progress, and how it ends. Each case runs through a real operation.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "tests/wavproc/wav_operation_fixture.h"
#include "wavproc/wav_texts.h"

namespace tunekiln::test {
namespace {

namespace texts = wav_texts;
using Frame = WavOperationTest;

const Bytes kExistingOutput{'k', 'e', 'e', 'p'};

TEST_F(Frame, CancelledDialogsEndSilentlyWithoutAFile) {
  givenInput(make_wav({}, samples16({1, 2})));
  host.input.reset();
  EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::cancelled);
  EXPECT_EQ(host.dialogsShown.size(), 1u);

  host.input = inputPath;
  host.output.reset();
  EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::cancelled);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

TEST_F(Frame, BothDialogsOfferWavFiles) {
  givenInput(make_wav({}, samples16({1, 2})));
  ClearVoice(host);
  ASSERT_EQ(host.dialogsShown.size(), 2u);
  for (const auto& dialog : host.dialogsShown) {
    EXPECT_EQ(dialog.filter, "Wav File(*.wav)|*.wav||");
    EXPECT_EQ(dialog.defaultExtension, "Wav File(*.wav)|*.wav");
  }
}

TEST_F(Frame, InputThatCannotBeReadIsReported) {
  givenInput(make_wav({}, samples16({1, 2})));
  host.input = dir.file("missing.wav");
  EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::failed);
  host.input = dir.path().string();  // a folder
  EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::failed);
  EXPECT_EQ(host.messages, std::vector<std::string>(2, std::string(texts::kOpenInputError)));
  EXPECT_FALSE(outputExists());
}

TEST_F(Frame, OutputThatCannotBeCreatedIsReported) {
  const Bytes input = make_wav({}, samples16({1, 2}));
  givenInput(input);
  host.output = dir.file("no-such-folder/out.wav");
  EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::failed);
  host.output = dir.path().string();
  EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::failed);
  EXPECT_EQ(host.messages, std::vector<std::string>(2, std::string(texts::kOpenOutputError)));
  EXPECT_EQ(read_file(inputPath), input);
}

TEST_F(Frame, OneFileAsInputAndOutputIsRefusedUnderEverySpelling) {
  const Bytes input = make_wav({}, samples16({1, 2, 3, 4}));
  givenInput(input);
  std::filesystem::create_symlink(inputPath, dir.file("link.wav"));
  std::filesystem::create_hard_link(inputPath, dir.file("hard.wav"));
  const std::string outputs[] = {inputPath, dir.file("link.wav"), dir.file("hard.wav"),
                                 dir.path().string() + "/./in.wav"};
  for (const auto& output : outputs) {
    host.output = output;
    EXPECT_EQ(ExtractChannel(host, Channel::left), Outcome::failed) << output;
    EXPECT_EQ(host.messages.back(), texts::kSameFile);
  }
  EXPECT_EQ(read_file(inputPath), input);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"hard.wav", "in.wav", "link.wav"}));
}

TEST_F(Frame, FailureAndCancelLeaveAnExistingOutputAlone) {
  givenInput(make_wav({.channels = 1}, samples16({1, 2})));
  write_file(outputPath, kExistingOutput);
  EXPECT_EQ(ClearVoice(host), Outcome::failed);
  EXPECT_EQ(host.messages.back(), texts::kMustBeStereo);
  EXPECT_EQ(output(), kExistingOutput);

  host.volumeDialog = [] { return false; };
  EXPECT_EQ(ChangeVolume(host), Outcome::cancelled);
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(output(), kExistingOutput);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(Frame, FullDiskEndsWithAWriteErrorAndLeavesNothing) {
  givenInput(make_wav({}, ramp_bytes(1 << 20)));
  write_file(outputPath, kExistingOutput);
  // A file-size limit makes writes fail as on a full disk, without privileges.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  rlimit small = previous;
  small.rlim_cur = 100000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const Outcome outcome = ExtractChannel(host, Channel::right);
  ::setrlimit(RLIMIT_FSIZE, &previous);

  EXPECT_EQ(outcome, Outcome::failed);
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(texts::kWriteError)});
  EXPECT_EQ(output(), kExistingOutput);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(Frame, EighteenByteFormatChunkGivesTheFortySixByteHeader) {
  givenInput(make_wav({.extensionSizeField = true}, samples16({1, 2, 3, 4})));
  ASSERT_EQ(ExtractChannel(host, Channel::right), Outcome::finished);
  const Bytes out = output();
  ASSERT_EQ(out.size(), 46u + 4u);
  EXPECT_EQ(le16(out, 36), 0u);
  EXPECT_EQ(le32(out, 42), 4u);
  EXPECT_EQ(sample16(out, 46), 2);
  EXPECT_EQ(sample16(out, 48), 4);
}

TEST_F(Frame, DataMarkerIsFoundOnlyAtEvenOffsets) {
  // A three-byte chunk puts the real "data" at an odd offset.
  givenInput(make_wav({.chunksBeforeData = make_chunk("odd!", {0, 0, 0})}, Bytes(64, 0)));
  EXPECT_EQ(ClearVoice(host), Outcome::failed);
  EXPECT_EQ(host.messages.back(), texts::kUnrecognized);
  EXPECT_FALSE(outputExists());
}

TEST_F(Frame, MarkerInsideAnEarlierChunkIsTakenForTheData) {
  // "da", two skipped bytes and a size of 4 inside a LIST chunk at an even offset.
  const Bytes list = make_chunk("LIST", {'d', 'a', 'x', 'x', 4, 0, 0, 0, 9, 0, 8, 0});
  givenInput(make_wav({.chunksBeforeData = list}, samples16({100, 200})));
  ASSERT_EQ(ExtractChannel(host, Channel::left), Outcome::finished);
  const Bytes out = output();
  const std::size_t headerLength = 36 + 8 + 8;  // the pair sits behind the LIST chunk's own header
  ASSERT_EQ(out.size(), headerLength + 2);
  EXPECT_EQ(le32(out, headerLength - 4), 2u);
  EXPECT_EQ(sample16(out, headerLength), 9);  // the LIST body's next frame, left half
}

TEST_F(Frame, SamplesEndWithTheDataChunk) {
  const Bytes samples = samples16({1, -1, 2, -2});
  givenInput(make_wav({.bytesAfterData = make_chunk("LIST", Bytes(40, 'x'))}, samples));
  ASSERT_EQ(ExtractChannel(host, Channel::left), Outcome::finished);
  EXPECT_EQ(outputSamples(), samples16({1, 2}));
  EXPECT_EQ(le32(output(), 4), output().size() - 8);
}

TEST_F(Frame, DeclaredSizeOfZeroOrPastTheEndMeansTheEndOfTheFile) {
  for (const std::uint32_t declared : {0u, 1000u}) {
    givenInput(make_wav({.declaredDataSize = declared}, samples16({1, -1, 2, -2, 3})));  // a torn last frame
    ASSERT_EQ(ExtractChannel(host, Channel::right), Outcome::finished);
    EXPECT_EQ(outputSamples(), samples16({-1, -2})) << declared;
    EXPECT_EQ(le32(output(), 40), 4u);
    EXPECT_EQ(le32(output(), 4), 44u + 4u - 8u);
  }
}

TEST_F(Frame, ProgressStepsEvery16384InputBytesAndEndsAtTheTop) {
  const std::size_t dataBytes = 5 * 16384 + 100;
  givenInput(make_wav({}, Bytes(dataBytes, 0)));
  ASSERT_EQ(ClearVoice(host), Outcome::finished);
  const auto fileLength = static_cast<float>(44 + dataBytes);
  const auto step = static_cast<std::int32_t>(1000000.0f / fileLength * 16384.0f);
  EXPECT_EQ(host.positions, (std::vector<std::int32_t>{0, step, 2 * step, 3 * step, 4 * step, 5 * step, 1000000}));
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(texts::kClearVoiceFinished)});
}

TEST_F(Frame, ShortInputShowsOnlyTheStartAndTheEnd) {
  givenInput(make_wav({}, Bytes(16380, 0)));
  ASSERT_EQ(ClearVoice(host), Outcome::finished);
  EXPECT_EQ(host.positions, (std::vector<std::int32_t>{0, 1000000}));
}

}  // namespace
}  // namespace tunekiln::test
