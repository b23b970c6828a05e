// tunekiln-cli's WAV commands, run as a user runs them: a real process, real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/cut_time.h"
#include "cli/terminal_status.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class WavCommands : public ::testing::Test {
 protected:
  ProgramResult cli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TUNEKILN_CLI);
    return run_program(arguments);
  }

  TempDir dir;
  std::string in = dir.file("in.wav");
  std::string out = dir.file("out.wav");
};

TEST_F(WavCommands, FinishedOperationsReportOnStandardOutputAndRefusalsOnStandardError) {
  const Bytes stereo = make_wav({}, samples16({1, 2, 3, 4}));
  const Bytes mono = make_wav({.channels = 1}, samples16({1, 2}));
  const Bytes twelveBits = make_wav({.bits = 12}, Bytes(6, 0));
  const Bytes dualMono = make_wav({}, samples16({5, 5, -7, -7}));
  const struct {
    const Bytes& input;
    std::vector<std::string> command;  // IN and OUT go behind the first word
    std::string message;
    std::optional<Bytes> samples;  // nothing: refused, and no file is written
    std::string notice = "";       // on standard error beside a finish
  } cases[] = {
      {stereo, {"left"}, "Abstract left channel finished!\n", samples16({1, 3})},
      {stereo, {"right"}, "Abstract right channel finished!\n", samples16({2, 4})},
      {stereo, {"clear-voice"}, "clear voice  finished!\n", samples16({1, 1})},
      {stereo, {"volume", "--multiple", "2"}, "change volume  finished!\n", samples16({2, 4, 6, 8})},
      {stereo, {"cut", "--start", "0", "--end", "0:00:00"}, "cut the file finished!\n", samples16({1, 2, 3, 4})},
      // 32767 / 4 in hundredths: the loudest sample reaches full scale and nothing clips.
      {stereo, {"volume", "--multiple", "max"}, "change volume  finished!\n", samples16({8191, 16383, 24575, 32767}),
       "The largest multiple that does not clip: 8191.75\n"},
      {stereo, {"volume", "--multiple", "10000"}, "change volume  finished!\n1 samples clipped (25.00 %)\n",
       samples16({10000, 20000, 30000, 32767})},
      {dualMono, {"clear-voice"}, "clear voice  finished!\n", samples16({0, 0}),
       "Warning: " + in + ": the two channels are identical, so the result is silence.\n"},
      {dualMono, {"clear-voice", "--keep-bass"}, "clear voice  finished!\n", samples16({0, 0})},
      {mono,
       {"clear-voice"},
       "Input wav file must be stereo!\n" + in + ": 16-bit PCM in a 1-channel file is not supported\n",
       {}},
      {mono, {"volume", "--multiple", ".5"}, "输入错误!\n", {}},
      {mono, {"cut", "--start", "1:00", "--end", "30"}, "start time must be less than end time!\n", {}},
      // The header checks come before the dialog, so their message wins; the reason follows it.
      {twelveBits, {"volume", "--multiple", "-1"},
       "Only Support 8, 16, 24 or 32 bits PCM or 32 or 64 bits float wav file!\n" + in +
           ": 12-bit PCM in a 2-channel file is not supported\n",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    write_file(in, c.input);
    std::vector<std::string> arguments{c.command[0], in, out};
    arguments.insert(arguments.end(), c.command.begin() + 1, c.command.end());
    const auto result = cli(arguments);
    EXPECT_EQ(result.status, c.samples ? 0 : 1);
    // No progress bar when standard error is not a terminal.
    EXPECT_EQ(result.out, c.samples ? c.message : "");
    EXPECT_EQ(result.err, c.samples ? c.notice : c.message);
    if (c.samples) {
      const Bytes written = read_file(out);
      EXPECT_EQ(Bytes(written.begin() + 44, written.end()), *c.samples);
      std::filesystem::remove(out);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
  }
}

TEST_F(WavCommands, UsageErrorsExitWithTwoAndHelpIsThereForEachCommand) {
  write_file(in, make_wav({}, Bytes(4, 0)));
  const std::vector<std::vector<std::string>> mistakes = {
      {}, {"fold"}, {"left", in}, {"volume", in, out}, {"left", in, out, "extra"}, {"left", "--keep-going", in, out},
      {"encode", in, out, "--bitrate", "100"}, {"encode", in, out, "--vbr", "2", "--bitrate", "128"}};
  for (const auto& arguments : mistakes) {
    const auto result = cli(arguments);
    EXPECT_EQ(result.status, 2) << (arguments.empty() ? "" : arguments[0]);
    EXPECT_NE(result.err.find("Usage: tunekiln-cli"), std::string::npos) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  const auto program = cli({"--help"});
  for (const char* command : {"left", "right", "clear-voice", "volume", "cut", "encode", "decode", "info", "play"}) {
    EXPECT_NE(program.out.find(command), std::string::npos) << command;
    const auto help = cli({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_NE(help.out.find(std::string("Usage: tunekiln-cli ") + command), std::string::npos) << help.out;
  }
}

TEST(CutTime, WholeSecondsAsSecondsMinutesOrHoursUpToTheDialogsLastSecond) {
  const struct {
    const char* text;
    std::optional<std::uint32_t> seconds;
  } cases[] = {{"0", 0},       {"90", 90},     {"1:30", 90},   {"120:00", 7200}, {"1:02:03", 3723},
               {"23:59:59", 86399}, {"86399", 86399}, {"86400", {}}, {"24:00:00", {}}, {"1:60", {}},
               {"1:2:3:4", {}}, {"", {}},      {"1:", {}},     {":1", {}},       {"-1", {}},
               {"1.5", {}},     {" 1", {}},    {"0:x:00", {}}, {"000000000001", {}}};
  for (const auto& c : cases) EXPECT_EQ(parse_cut_time(c.text), c.seconds) << c.text;
  EXPECT_EQ(cut_entries(3723, 59), (CutEntries{"1", "2", "3", "0", "0", "59"}));
}

TEST_F(WavCommands, TerminalShowsAProgressBarThatMakesWayForTheMessage) {
  EXPECT_EQ(progress_bar_text(0), "[----------------------------------------]   0%");
  EXPECT_EQ(progress_bar_text(500000), "[####################--------------------]  50%");
  EXPECT_EQ(progress_bar_text(2000000), "[########################################] 100%");
  EXPECT_EQ(progress_bar_text(-5), progress_bar_text(0));

  write_file(in, make_wav({}, ramp_bytes(1 << 20)));
  const auto result = run_on_terminal({TUNEKILN_CLI, "right", in, out});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("] 100%"), std::string::npos) << result.out;
  const auto message = result.out.find("Abstract right channel finished!");
  ASSERT_NE(message, std::string::npos);
  EXPECT_EQ(result.out[message - 1], '\r') << "the bar is erased before the message";
}

TEST_F(WavCommands, AnalyseTellsLevelsAndWhatTheOperationsWillDo) {
  write_file(in, make_wav({}, samples16({5, 5, -32768, -32768})));
  const auto text = cli({"analyse", in});
  EXPECT_EQ(text.status, 0) << text.err;
  for (const char* line : {"frames=2\n", "left.peakDbfs=0.00\n", "left.peakSample=-32768\n",
                           "clearVoice=dual mono: the result is silence\n", "largestUnclippedMultiple=1.00\n"}) {
    EXPECT_NE(text.out.find(line), std::string::npos) << line << " in " << text.out;
  }
  const auto json = cli({"analyse", "--json", in});
  EXPECT_TRUE(json.out.starts_with("{\"decoder\": \"wav\", ") && json.out.ends_with("}\n")) << json.out;
  EXPECT_NE(json.out.find("\"clearVoice\": \"dual mono: the result is silence\""), std::string::npos);

  write_file(in, Bytes(3000, 'x'));
  EXPECT_EQ(cli({"analyse", in}).status, 1);
}

}  // namespace
}  // namespace tunekiln::test
