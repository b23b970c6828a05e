// tunekiln-cli's WAV commands and encode, run as a user runs them: a real process, real files.
// What the operations write is their own tests' matter; here, what the command line adds.
#include <gtest/gtest.h>

#include "cli/cut_time.h"
#include "tests/cli/run_cli.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

Bytes wav(std::uint16_t channels, std::initializer_list<std::int32_t> samples, std::uint32_t rate = 44100) {
  return make_wav({.channels = channels, .sampleRate = rate}, samples16(samples));
}

// The result's bytes, status 0 and the finish message on standard output, or with a refused
// parameter status 1, no file and the message on standard error. Standard error, when it is no
// terminal, holds only the warnings and refusals asked for (a part of it in the table). The cut is
// of a frame a millisecond with fades of two frames (gains 0 and 1/2); the times' forms are
// parse_cut_time's matter, below.
TEST(WavCommands, ParametersAndOutcomes) {
  TempDir dir;
  const std::string in = dir.file("in.wav"), out = dir.file("out.wav");
  const Bytes stereo = wav(2, {1, 2, 3, 4});
  // The input, the command, the output and a part of standard error.
  const std::tuple<Bytes, Words, Bytes, std::string> cases[] = {
      // 32768 / 4 less a hundredth: the loudest sample, truncated, still reaches full scale.
      {stereo, {"volume", "--multiple", "max"}, wav(2, {8191, 16383, 24575, 32767}), " 8191.99"},
      {wav(2, {5, 5}), {"clear-voice"}, wav(1, {0}), in + ": the two"},
      {wav(1, {9, 99, 100, 102, 99, 9}, 1000), {"cut", "--start", "0.001", "--end", "5s", "--fade", "2"},
       wav(1, {0, 50, 51, 0}, 1000), ""},
      {stereo, {"volume", "--multiple", ".5"}, {}, "输入错误!\n"},
  };
  for (const auto& [input, arguments, output, err] : cases) {
    write_file(in, input);
    const auto result = cli(arguments + Words{in, out});
    SCOPED_TRACE(arguments[0] + ": " + result.err);
    EXPECT_EQ(std::tuple(result.status, result.out.empty(), result.err.empty()),
              std::tuple(output.empty() ? 1 : 0, output.empty(), err.empty()));
    EXPECT_TRUE(has(result.err, err));
    EXPECT_EQ(std::filesystem::exists(out) ? read_file(out) : Bytes{}, output);
    std::filesystem::remove(out);
  }
}

// The filter is the operation's matter; here the frequency reaches it as written, fractions
// too, with 120 Hz when none is given.
TEST(WavCommands, KeepBassTakesTheFrequencyAsWritten) {
  TempDir dir;
  write_file(dir.file("in.wav"), make_wav({}, ramp_bytes(44100)));
  const auto out = [&](const std::string& option) {
    EXPECT_EQ(cli({"clear-voice", dir.file("in.wav"), dir.file("out.wav"), option}).status, 0);
    return read_file(dir.file("out.wav"));
  };
  EXPECT_EQ(out("--keep-bass"), out("--keep-bass=120"));
  EXPECT_NE(out("--keep-bass=150.7"), out("--keep-bass=150"));
}

// CLI11's own refusals are its matter; these are the command line's.
TEST(WavCommands, UsageErrorsExitWithTwo) {
  for (const auto& arguments : std::vector<Words>{
           {"clear-voice", "in", "out", "--keep-bass=0x10"},
           {"clear-voice", "in", "out", "--keep-bass=1e9"}, {"encode", "in", "out", "--bitrate", "100"},
           {"cut", "in", "out", "--fade", "1001"}, {"cut", "in", "out", "--end", "1.0000"},
           {"volume", "in", "out", "--to-lufs", "-3", "--multiple", "2"}}) {
    const auto result = cli(arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(has(result.err, "Usage: tunekiln-cli"));
  }
}

// Times below a day to the millisecond, or frame indexes; the first frame at or after them.
TEST(CutTime, FirstFrameOfATimeOrFrameIndex) {
  const std::tuple<const char*, std::uint32_t, std::optional<std::uint64_t>> cases[] = {
      {"1.001", 44100, 44145}, {"0:01.05", 48000, 50400},
      {"23:59:59.999", 8000, 691199992}, {"120:00", 1, 7200}, {"44100s", 8000, 44100}, {"86400", 1, {}},
      {"1:60", 1, {}}, {"1:2:3:4", 1, {}}, {".5", 1, {}},
      {"1:00s", 1, {}}, {"1000000000000000000s", 1, {}}, {"000000000001", 1, {}}};
  for (const auto& [text, rate, frame] : cases) {
    const auto point = parse_cut_time(text);
    EXPECT_EQ(point ? std::optional(cut_frame(*point, rate)) : std::nullopt, frame) << text;
  }
}

// Text as the ID3v2 frames hold it: UTF-16 little-endian, this machine's order, behind its byte order mark.
std::string utf16(const std::u16string& text) {
  return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size());
}

// The bitrate, the variable bitrate's tag, and ID3v2 tags from the options and from a WAVE file's
// LIST/INFO reach the MP3; the kbps are the second frame's, the first behind the LAME Tag.
TEST(EncodeCommand, OptionsAndInfoChunkReachTheMp3) {
  TempDir dir;
  const Bytes info = make_info_list({{"INAM", "Caf\xe9"}});
  write_file(dir.file("plain.wav"), make_wav({}, ramp_bytes(44100)));
  write_file(dir.file("tagged.wav"), make_wav({.bytesAfterData = info}, ramp_bytes(44100)));
  const auto encode = [&](const char* input, const Words& options) {
    EXPECT_EQ(cli(Words{"--quiet", "encode", dir.file(input), dir.file("out.mp3")} + options).status, 0);
    return read_file(dir.file("out.mp3"));
  };
  EXPECT_EQ(mpeg_frames(encode("plain.wav", {"--bitrate", "192"})).at(1).kbps, 192);
  const Bytes mp3 = encode("tagged.wav", {"--vbr", "2", "--artist", "Över", "--album", "漢字",
                                          "--comment", "c", "--track", "3"});
  const std::string bytes(mp3.begin(), mp3.end());
  for (const auto& text : {utf16(u"Café"), utf16(u"Över"), utf16(u"漢字"), utf16(u"c"), utf16(u"3")}) {
    EXPECT_TRUE(has(bytes, text)) << text;
  }
  EXPECT_TRUE(has(bytes, "Xing"));
}

}  // namespace
}  // namespace tunekiln::test
