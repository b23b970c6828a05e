// Save to MP3 as the window runs it, with a scripted user: the files it writes, what it tells
// the user and the console, and what it leaves behind when it fails.
#include "encoder/save_to_mp3.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "encoder/activity_mode.h"
#include "tests/encoder/encoder_fixtures.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

const Bytes kExistingOutput{'k', 'e', 'e', 'p'};

class SaveToMp3Test : public ::testing::Test {
 protected:
  SaveToMp3Test() {
    console.err = err.get();
    console.out = out.get();
    host.input = inputPath;
    host.output = outputPath;
  }
  SaveToMp3Result save(const Bytes& input) {
    write_file(inputPath, input);
    return SaveToMp3File(host, console);
  }
  Bytes output() const { return read_file(outputPath); }
  // The first frame holds the LAME Tag: "Info" behind the side information, then "LAME".
  static bool starts_with_lame_tag(const Bytes& file, std::size_t sideInfoBytes) {
    const std::string first(file.begin() + 4 + static_cast<std::ptrdiff_t>(sideInfoBytes), file.begin() + 200);
    return first.starts_with("Info") && first.find("LAME") != std::string::npos;
  }

  EncoderConsole console;  // outlives the streams that use its buffer
  CapturedStream err;
  CapturedStream out;
  TempDir dir;
  ScriptedSaveHost host;
  std::string inputPath = dir.file("in.wav");
  std::string outputPath = dir.file("out.mp3");
};

TEST_F(SaveToMp3Test, StereoAt44100GivesConstant128kJointStereoBehindALameTag) {
  const Bytes input = make_wav({}, tone16(2, 2 * 44100));
  const auto result = save(input);
  EXPECT_EQ(result.outcome, SaveOutcome::finished);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(host.messages, std::vector<std::string>{"the Mp3 file changed ok!"});
  EXPECT_EQ(out.text(), "Writing LAME Tag...done\n");
  EXPECT_TRUE(err.text().ends_with(" \n")) << err.text();

  const Bytes file = output();
  const auto frames = mp3_frames(file);
  ASSERT_GT(frames.size(), 2u * 44100 / 1152);
  for (const auto& frame : frames) {
    EXPECT_EQ(frame.bitrateKbps, 128);
    EXPECT_EQ(frame.sampleRate, 44100);
    EXPECT_EQ(frame.channelMode, 1) << "joint stereo";
  }
  EXPECT_TRUE(starts_with_lame_tag(file, 32));
  EXPECT_EQ(read_file(inputPath), input);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));

  save(input);
  EXPECT_EQ(output(), file) << "a second conversion starts afresh";
}

TEST_F(SaveToMp3Test, MonoInputGivesAMonoFile) {
  ASSERT_EQ(save(make_wav({.channels = 1, .sampleRate = 48000}, tone16(1, 48000, 48000))).outcome,
            SaveOutcome::finished);
  const Bytes file = output();
  const auto frames = mp3_frames(file);
  ASSERT_FALSE(frames.empty());
  for (const auto& frame : frames) {
    EXPECT_EQ(frame.sampleRate, 48000);
    EXPECT_EQ(frame.channelMode, 3) << "mono";
  }
  EXPECT_TRUE(starts_with_lame_tag(file, 17));
}

TEST_F(SaveToMp3Test, ProgressStartsAtZeroMovesEveryFiftyFramesAndEndsAtTheTop) {
  save(make_wav({}, tone16(2, 10 * 44100)));  // about 385 frames
  ASSERT_GE(host.percents.size(), 8u);
  EXPECT_EQ(host.percents.front(), 0);
  EXPECT_TRUE(std::is_sorted(host.percents.begin(), host.percents.end()));
  EXPECT_EQ(host.percents.back(), 100);

  host.percents.clear();
  EXPECT_EQ(save(make_wav({}, {})).outcome, SaveOutcome::finished);
  EXPECT_EQ(host.percents, (std::vector<int>{0, 100})) << "an empty input is read once";
  EXPECT_TRUE(starts_with_lame_tag(output(), 32));
}

TEST_F(SaveToMp3Test, CancelledDialogsOpenNothing) {
  write_file(inputPath, make_wav({}, tone16(2, 100)));
  activityMode = MODE_NONE;
  host.input.reset();
  EXPECT_EQ(SaveToMp3File(host, console).outcome, SaveOutcome::cancelled);
  EXPECT_EQ(activityMode, MODE_ENCODING) << "set before any dialog";

  host.input = inputPath;
  host.output.reset();
  EXPECT_EQ(SaveToMp3File(host, console).outcome, SaveOutcome::cancelled);
  EXPECT_EQ(host.dialogFilters, (std::vector<std::string>{"Wav File(*.wav)|*.wav||", "Wav File(*.wav)|*.wav||",
                                                          "Mp3 File(*.mp3)|*.mp3||"}));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(err.text() + out.text(), "");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

TEST_F(SaveToMp3Test, OneFileUnderAnySpellingIsRefusedUntouched) {
  const Bytes input = make_wav({}, tone16(2, 100));
  write_file(inputPath, input);
  std::filesystem::create_symlink(inputPath, dir.file("link.mp3"));
  std::filesystem::create_hard_link(inputPath, dir.file("hard.mp3"));
  for (const auto& spelling : {inputPath, dir.file("link.mp3"), dir.file("hard.mp3"), dir.file("./in.wav")}) {
    host.output = spelling;
    EXPECT_EQ(SaveToMp3File(host, console).exitStatus, 1) << spelling;
  }
  EXPECT_TRUE(host.messages.empty());
  std::string expected;
  for (int i = 0; i < 4; ++i) expected += "Input file and Output file are the same. Abort.\n";
  EXPECT_EQ(err.text(), expected);
  EXPECT_EQ(read_file(inputPath), input);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"hard.mp3", "in.wav", "link.mp3"}));
}

TEST_F(SaveToMp3Test, FailuresLeaveNoOutputAndAnExistingOneUnchanged) {
  const struct {
    Bytes input;
    std::string message;
  } cases[] = {
      {make_wav({.channels = 6}, Bytes(24, 0)), "Unsupported number of channels: 6d"},
      {make_wav({.bits = 12}, Bytes(24, 0)), "Only 8, 16, 24 and 32 bit input files supported "},  // after the output was made
      {make_aiff({.sampleRate = HUGE_VAL}, Bytes(8, 0)), "fatal error during initialization"},
  };
  for (const auto& c : cases) {
    write_file(outputPath, kExistingOutput);
    const auto result = save(c.input);
    EXPECT_EQ(result.outcome, SaveOutcome::failed);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(host.messages.back(), c.message);
    EXPECT_EQ(output(), kExistingOutput);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));
  }
  EXPECT_NE(err.text().find("MPEG-2.5 layer III sample frequencies"), std::string::npos) << "the bitrate table";

  host.input = dir.file("missing.wav");
  EXPECT_EQ(SaveToMp3File(host, console).exitStatus, 1);
  EXPECT_EQ(host.messages.back(), "Could not find \"" + *host.input + "\".");

  host.input = inputPath;
  host.output = dir.file("no-such-folder/out.mp3");
  const std::size_t shown = host.messages.size();
  EXPECT_EQ(SaveToMp3File(host, console).exitStatus, 1);
  EXPECT_EQ(host.messages.size(), shown) << "only the console says why";
  EXPECT_TRUE(err.text().ends_with("Can't init outfile '" + *host.output + "'\n"));
  EXPECT_EQ(out.text(), "");
}

TEST_F(SaveToMp3Test, FullDiskEndsWithAWriteErrorAndLeavesNothing) {
  write_file(inputPath, make_wav({}, tone16(2, 10 * 44100)));
  write_file(outputPath, kExistingOutput);
  // A file-size limit makes writes fail as on a full disk, without privileges.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  rlimit small = previous;
  small.rlim_cur = 20000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const auto result = SaveToMp3File(host, console);
  ::setrlimit(RLIMIT_FSIZE, &previous);

  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{"Write the output mp3 file error!"});
  EXPECT_TRUE(err.text().ends_with("Error writing mp3 output \n")) << err.text();
  EXPECT_EQ(out.text(), "") << "no tag for a file that is dropped";
  EXPECT_EQ(output(), kExistingOutput);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));
}

}  // namespace
}  // namespace tunekiln::test
