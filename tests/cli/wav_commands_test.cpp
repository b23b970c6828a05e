// tunekiln-cli's WAV commands and encode, run as a user runs them: a real process, real files.
// What the operations write is their own tests' matter; here, what the command line adds.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "cli/cut_time.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using Words = std::vector<std::string>;

ProgramResult cli(Words arguments) {
  arguments.insert(arguments.begin(), TUNEKILN_CLI);
  return run_program(arguments);
}

Bytes wav(std::uint16_t channels, std::initializer_list<std::int32_t> samples, std::uint32_t rate = 44100) {
  return make_wav({.channels = channels, .sampleRate = rate}, samples16(samples));
}

// The result's bytes, status 0 and the finish message on standard output, or with a refused
// parameter status 1, no file and the message on standard error. Standard error, when it is no
// terminal, holds only the warnings and refusals asked for (a part of it in the table). The cut
// is of a file of one frame a second.
TEST(WavCommands, ParametersAndOutcomes) {
  TempDir dir;
  const std::string in = dir.file("in.wav"), out = dir.file("out.wav");
  const Bytes stereo = wav(2, {1, 2, 3, 4});
  // The input, the command, the output and a part of standard error.
  const std::tuple<Bytes, Words, Bytes, std::string> cases[] = {
      {stereo, {"left"}, wav(1, {1, 3}), ""},
      // 32768 / 4 less a hundredth: the loudest sample, truncated, still reaches full scale.
      {stereo, {"volume", "--multiple", "max"}, wav(2, {8191, 16383, 24575, 32767}), " 8191.99"},
      {wav(2, {5, 5}), {"clear-voice"}, wav(1, {0}), in + ": the two"},
      {wav(1, {0, 1, 2, 3}, 1), {"cut", "--start", "1", "--end", "0:00:03"}, wav(1, {1, 2}, 1), ""},
      {stereo, {"volume", "--multiple", ".5"}, {}, "输入错误!\n"},
  };
  for (auto [input, arguments, output, err] : cases) {
    write_file(in, input);
    arguments.insert(arguments.end(), {in, out});
    const auto result = cli(arguments);
    SCOPED_TRACE(arguments[0] + ": " + result.err);
    EXPECT_EQ(std::tuple(result.status, result.out.empty(), result.err.empty()),
              std::tuple(output.empty() ? 1 : 0, output.empty(), err.empty()));
    EXPECT_NE(result.err.find(err), std::string::npos);
    EXPECT_EQ(std::filesystem::exists(out) ? read_file(out) : Bytes{}, output);
    std::filesystem::remove(out);
  }
}

// The low-pass of --keep-bass is a fourth-order Butterworth: at its cut-off it passes a centred
// tone at 1 / sqrt(2) of its level, the product of its two sections' quality factors.
TEST(WavCommands, KeepBassHalvesThePowerAtItsCutOff) {
  TempDir dir;
  for (const auto& [option, hz] : {std::pair{"--keep-bass=2e2", 200.0}, {"--keep-bass=150.7", 150.7},
                                   {"--keep-bass", 120.0}}) {
    std::vector<std::int16_t> tone;
    for (int i = 0; i < 2 * 44100; ++i) {
      tone.insert(tone.end(), 2, static_cast<std::int16_t>(16384 * std::sin(2 * M_PI * hz * i / 44100)));
    }
    write_file(dir.file("in.wav"), make_wav({}, little_endian_bytes(tone)));
    ASSERT_EQ(cli({"clear-voice", dir.file("in.wav"), dir.file("out.wav"), option}).status, 0);
    const Bytes out = read_file(dir.file("out.wav"));
    const auto kept = measure_tone(samples_of(Bytes(out.begin() + 44, out.end())), 1, 0, 44100, 44100);
    EXPECT_NEAR(kept.amplitude() / 0.5, M_SQRT1_2, 0.003) << option;
  }
}

// CLI11's own refusals are its matter; these are the command line's.
TEST(WavCommands, UsageErrorsExitWithTwo) {
  for (const auto& arguments : std::vector<Words>{
           {}, {"left", "in"}, {"left", "in", "out", "extra"}, {"left", "--keep-going", "in", "out"},
           {"clear-voice", "in", "out", "--keep-bass=0x10"}, {"clear-voice", "in", "out", "--keep-bass=1e9"},
           {"encode", "in", "out", "--bitrate", "100"}}) {
    const auto result = cli(arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("Usage: tunekiln-cli"), std::string::npos);
  }
}

TEST(CutTime, WholeSecondsUpTo23h59m59s) {
  const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
      {"1:30", 90}, {"120:00", 7200}, {"23:59:59", 86399}, {"86400", {}},        {"1:60", {}},
      {"1:2:3:4", {}}, {":1", {}},    {"1.5", {}},         {"000000000001", {}}};
  for (const auto& [text, seconds] : cases) EXPECT_EQ(parse_cut_time(text), seconds) << text;
  EXPECT_EQ(cut_entries(3723, 59), (CutEntries{"1", "2", "3", "0", "0", "59"}));
}

// Text as the ID3v2 frames hold it: UTF-16 little-endian, this machine's order, behind its byte order mark.
std::string utf16(const std::u16string& text) {
  return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size());
}

// The bitrate and its mode, and ID3v2 tags from the options and from a WAVE file's LIST/INFO,
// reach the MP3; the kbps (0: not checked) are the second frame's, the first behind the LAME Tag.
TEST(EncodeCommand, OptionsAndInfoChunkReachTheMp3) {
  TempDir dir;
  const Bytes info = make_info_list({{"INAM", "Caf\xe9"}, {"IART", "From the file"}, {"IPRT", "7"}});
  write_file(dir.file("plain.wav"), make_wav({}, ramp_bytes(44100)));
  write_file(dir.file("tagged.wav"), make_wav({.bytesAfterData = info}, ramp_bytes(44100)));
  // The input and options, what the MP3 holds and what it does not, and the kbps.
  const std::tuple<Words, Words, Words, int> cases[] = {
      {{"plain.wav", "--bitrate", "192"}, {"Info"}, {"ID3", "Xing"}, 192},
      {{"tagged.wav", "--vbr", "2", "--artist", "Över", "--album", "漢字", "--year", "2024",
        "--comment", "c", "--track", "3"},
       {"Xing", utf16(u"Café"), utf16(u"Över"), utf16(u"漢字"), utf16(u"2024"), utf16(u"c"), utf16(u"3")},
       {utf16(u"From the file"), utf16(u"7")}, 0},
  };
  for (const auto& [options, present, absent, kbps] : cases) {
    Words arguments{"--quiet", "encode", dir.file(options[0]), dir.file("out.mp3")};
    arguments.insert(arguments.end(), options.begin() + 1, options.end());
    ASSERT_EQ(cli(arguments).status, 0);
    const Bytes mp3 = read_file(dir.file("out.mp3"));
    const std::string bytes(mp3.begin(), mp3.end());
    for (const auto& text : present) EXPECT_NE(bytes.find(text), std::string::npos) << text;
    for (const auto& text : absent) EXPECT_EQ(bytes.find(text), std::string::npos) << text;
    EXPECT_TRUE(kbps == 0 || mpeg_frames(mp3).at(1).kbps == kbps);
  }
}

}  // namespace
}  // namespace tunekiln::test
