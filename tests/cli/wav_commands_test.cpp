// tunekiln-cli's WAV commands and encode, run as a user runs them: a real process, real files.
// What the operations write is their own tests' matter; here, what the command line adds.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "cli/cut_time.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

ProgramResult cli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), TUNEKILN_CLI);
  return run_program(arguments);
}

// Text as the ID3v2 frames hold it: UTF-16 little-endian behind its byte order mark.
std::string utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) bytes += {static_cast<char>(unit), static_cast<char>(unit >> 8)};
  return bytes;
}

TEST(WavCommands, FinishesOnStandardOutputAndRefusalsOnStandardErrorWithTheirStatus) {
  TempDir dir;
  const std::string in = dir.file("in.wav"), out = dir.file("out.wav");
  const Bytes stereo = make_wav({}, samples16({1, 2, 3, 4})), mono = make_wav({.channels = 1}, samples16({1, 2}));
  const Bytes dualMono = make_wav({}, samples16({5, 5, -7, -7}));
  const struct {
    const Bytes& input;
    std::vector<std::string> command;  // IN and OUT go behind the first word
    std::string out, err;              // nothing on standard output: refused, status 1 and no file
  } cases[] = {
      {stereo, {"left"}, "Abstract left channel finished!\n", ""},
      {stereo, {"cut", "--start", "0", "--end", "0:00:00"}, "cut the file finished!\n", ""},
      // 32768 / 4 less a hundredth: the loudest sample, truncated, reaches full scale.
      {stereo, {"volume", "--multiple", "max"}, "change volume  finished!\n", "The largest multiple that does not clip: 8191.99\n"},
      {dualMono, {"clear-voice"}, "clear voice  finished!\n",
       "Warning: " + in + ": the two channels are identical, so the result is silence.\n"},
      {mono, {"volume", "--multiple", ".5"}, "", "输入错误!\n"},
      {mono, {"cut", "--start", "1:00", "--end", "30"}, "", "start time must be less than end time!\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command[0] + " " + c.err);
    write_file(in, c.input);
    std::vector<std::string> arguments{c.command[0], in, out};
    arguments.insert(arguments.end(), c.command.begin() + 1, c.command.end());
    const auto result = cli(arguments);
    EXPECT_EQ(result.status, c.out.empty() ? 1 : 0);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err) << "no progress bar when standard error is not a terminal";
    EXPECT_EQ(std::filesystem::exists(out), !c.out.empty());
    std::filesystem::remove(out);
  }
}

TEST(WavCommands, UsageErrorsExitWithTwo) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {}, {"fold"}, {"left", "in"}, {"volume", "in", "out"}, {"left", "in", "out", "extra"}, {"left", "--keep-going", "in", "out"},
           {"encode", "in", "out", "--bitrate", "100"}, {"encode", "in", "out", "--vbr", "2", "--bitrate", "128"}}) {
    const auto result = cli(arguments);
    EXPECT_EQ(result.status, 2) << (arguments.empty() ? "" : arguments[0]);
    EXPECT_NE(result.err.find("Usage: tunekiln-cli"), std::string::npos) << result.err;
  }
}

TEST(CutTime, WholeSecondsAsSecondsMinutesOrHoursUpToTheDialogsLastSecond) {
  const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
      {"0", 0}, {"1:30", 90}, {"120:00", 7200}, {"23:59:59", 86399}, {"86400", {}}, {"1:60", {}}, {"1:2:3:4", {}},
      {"", {}}, {":1", {}}, {"-1", {}}, {"1.5", {}}, {"000000000001", {}}};
  for (const auto& [text, seconds] : cases) EXPECT_EQ(parse_cut_time(text), seconds) << text;
  EXPECT_EQ(cut_entries(3723, 59), (CutEntries{"1", "2", "3", "0", "0", "59"}));
}

TEST(WavCommands, AnalyseTellsLevelsAndWhatTheOperationsWillDo) {
  TempDir dir;
  const std::string in = dir.file("in.wav");
  write_file(in, make_wav({}, samples16({5, 5, -32768, -32768})));
  const auto text = cli({"analyse", in}), json = cli({"analyse", "--json", in});
  EXPECT_EQ(text.status, 0) << text.err;
  for (const char* line : {"frames=2\n", "left.peakDbfs=0.00\n", "left.peakSample=-32768\n",
                           "clearVoice=dual mono: the result is silence\n", "largestUnclippedMultiple=1.00\n"})
    EXPECT_NE(text.out.find(line), std::string::npos) << line << " in " << text.out;
  EXPECT_TRUE(json.out.starts_with("{\"decoder\": \"wav\", ") && json.out.ends_with("}\n")) << json.out;
  write_file(in, Bytes(3000, 'x'));
  EXPECT_EQ(cli({"analyse", in}).status, 1);
}

// What encode adds to Save to MP3: the bitrate and its mode, ID3v2 tags from the options and
// from a WAVE file's LIST/INFO chunk, and the lines that tell why an input was refused.
TEST(EncodeCommand, OptionsAndTheInfoChunkReachTheMp3AndARefusalSaysWhy) {
  TempDir dir;
  const Bytes tone = ramp_bytes(44100);
  write_file(dir.file("plain.wav"), make_wav({}, tone));
  write_file(dir.file("tagged.wav"),
             make_wav({.bytesAfterData = make_info_list({{"INAM", "Caf\xe9"}, {"IART", "From the file"}, {"IPRT", "7"}})}, tone));
  const struct {
    std::string input;
    std::vector<std::string> options, present, absent;
    int kbps;  // of the second frame, the first of music behind the LAME Tag; 0: not checked
  } cases[] = {
      {"plain.wav", {}, {"Info"}, {"ID3", "Xing"}, 128},
      {"plain.wav", {"--bitrate", "192"}, {}, {}, 192},
      {"plain.wav", {"--vbr", "2", "--quality", "9"}, {"Xing"}, {"ID3"}, 0},
      {"tagged.wav", {"--artist", "Över", "--album", "漢字", "--year", "2024", "--comment", "c"},
       {utf16(u"Café"), utf16(u"Över"), utf16(u"漢字"), utf16(u"7"), utf16(u"2024"), utf16(u"c")}, {utf16(u"From the file")}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.size());
    std::vector<std::string> arguments{"--quiet", "encode", dir.file(c.input), dir.file("out.mp3")};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(cli(arguments).status, 0);
    const Bytes mp3 = read_file(dir.file("out.mp3"));
    const std::string bytes(mp3.begin(), mp3.end());
    for (const auto& text : c.present) EXPECT_NE(bytes.find(text), std::string::npos);
    for (const auto& text : c.absent) EXPECT_EQ(bytes.find(text), std::string::npos);
    EXPECT_TRUE(c.kbps == 0 || mpeg_frames(mp3).at(1).kbps == c.kbps);
  }

  // For a rate the encoder refuses, the table of those it takes.
  write_file(dir.file("in"), make_aiff({.sampleRate = HUGE_VAL}, Bytes(8)));
  const auto rate = cli({"encode", dir.file("in"), dir.file("out.mp3")});
  EXPECT_EQ(rate.status, 1);
  EXPECT_TRUE(rate.err.ends_with(" 144 160\n\nfatal error during initialization\n")) << rate.err;
}

}  // namespace
}  // namespace tunekiln::test
