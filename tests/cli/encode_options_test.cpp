// What encode adds to Save to MP3: the bitrate and its mode, ID3v2 tags from the options and
// from a WAVE file's LIST/INFO chunk, and the lines that tell why an input was refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// Text as the ID3v2 frames hold it: UTF-16 little-endian behind its byte order mark.
Bytes utf16_frame_text(const std::u16string& text) {
  Bytes bytes{0xFF, 0xFE};
  for (const char16_t unit : text) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8)});
  return bytes;
}

TEST(EncodeCommand, BitrateModeAndTagsReachTheMp3) {
  TempDir dir;
  const Bytes tone = ramp_bytes(44100);
  write_file(dir.file("plain.wav"), make_wav({}, tone));
  write_file(dir.file("tagged.wav"),
             make_wav({.bytesAfterData = make_info_list({{"INAM", "Caf\xe9"}, {"IART", "From the file"}, {"IPRT", "7"}})}, tone));
  const struct {
    std::string input;
    std::vector<std::string> options;
    std::vector<Bytes> present, absent;
    int kbps;  // of the second frame, the first of music behind the LAME Tag; 0: not checked
  } cases[] = {
      {"plain.wav", {}, {Bytes{'I', 'n', 'f', 'o'}}, {Bytes{'I', 'D', '3'}, Bytes{'X', 'i', 'n', 'g'}}, 128},
      {"plain.wav", {"--bitrate", "192"}, {}, {}, 192},
      {"plain.wav", {"--vbr", "2", "--quality", "9"}, {Bytes{'X', 'i', 'n', 'g'}}, {Bytes{'I', 'D', '3'}}, 0},
      {"tagged.wav",
       {"--artist", "Över", "--album", "漢字", "--year", "2024", "--comment", "c"},
       {utf16_frame_text(u"Café"), utf16_frame_text(u"Över"), utf16_frame_text(u"漢字"), utf16_frame_text(u"7"),
        utf16_frame_text(u"2024"), utf16_frame_text(u"c")},
       {utf16_frame_text(u"From the file")}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.size());
    std::vector<std::string> arguments{TUNEKILN_CLI, "--quiet", "encode", dir.file(c.input), dir.file("out.mp3")};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const auto result = run_program(arguments);
    ASSERT_EQ(result.status, 0) << result.err;
    const Bytes mp3 = read_file(dir.file("out.mp3"));
    for (const auto& bytes : c.present) EXPECT_NE(std::search(mp3.begin(), mp3.end(), bytes.begin(), bytes.end()), mp3.end());
    for (const auto& bytes : c.absent) EXPECT_EQ(std::search(mp3.begin(), mp3.end(), bytes.begin(), bytes.end()), mp3.end());
    EXPECT_TRUE(c.kbps == 0 || mpeg_frames(mp3).at(1).kbps == c.kbps);
  }
}

TEST(EncodeCommand, ARefusedInputGetsItsReasonOrTheRatesTheEncoderTakes) {
  TempDir dir;
  const std::string in = dir.file("in");
  const struct {
    Bytes input;
    std::string err;
  } cases[] = {
      {{'f', 'L', 'a', 'C', 0, 0, 0, 34}, "Unsupported data format\n" + in + ": FLAC audio is not supported\n"},
      {make_aiff({.sampleRate = HUGE_VAL}, Bytes(8)),
       "\nMPEG-1   layer III sample frequencies (kHz):  32  48  44.1\n"
       "bitrates (kbps): 32 40 48 56 64 80 96 112 128 160 192 224 256 320\n"
       "\nMPEG-2   layer III sample frequencies (kHz):  16  24  22.05\n"
       "bitrates (kbps):  8 16 24 32 40 48 56 64 80 96 112 128 144 160\n"
       "\nMPEG-2.5 layer III sample frequencies (kHz):   8  12  11.025\n"
       "bitrates (kbps):  8 16 24 32 40 48 56 64 80 96 112 128 144 160\n\n"
       "fatal error during initialization\n"},
  };
  for (const auto& c : cases) {
    write_file(in, c.input);
    const auto result = run_program({TUNEKILN_CLI, "encode", in, dir.file("out.mp3")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
  }
}

}  // namespace
}  // namespace tunekiln::test
