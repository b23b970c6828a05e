// What encode adds to Save to MP3: the bitrate and its mode, ID3v2 tags from the options and
// from a WAVE file's LIST/INFO chunk, and the lines that tell why an input was refused.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// Text as the ID3v2 frames hold it: UTF-16 little-endian behind its byte order mark.
std::string utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) bytes += {static_cast<char>(unit), static_cast<char>(unit >> 8)};
  return bytes;
}

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
    std::vector<std::string> arguments{TUNEKILN_CLI, "--quiet", "encode", dir.file(c.input), dir.file("out.mp3")};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(run_program(arguments).status, 0);
    const Bytes mp3 = read_file(dir.file("out.mp3"));
    const std::string bytes(mp3.begin(), mp3.end());
    for (const auto& text : c.present) EXPECT_NE(bytes.find(text), std::string::npos);
    for (const auto& text : c.absent) EXPECT_EQ(bytes.find(text), std::string::npos);
    EXPECT_TRUE(c.kbps == 0 || mpeg_frames(mp3).at(1).kbps == c.kbps);
  }

  // For a rate the encoder refuses, the table of those it takes.
  write_file(dir.file("in"), make_aiff({.sampleRate = HUGE_VAL}, Bytes(8)));
  const auto rate = run_program({TUNEKILN_CLI, "encode", dir.file("in"), dir.file("out.mp3")});
  EXPECT_EQ(rate.status, 1);
  EXPECT_TRUE(rate.err.starts_with("\nMPEG-1   layer III sample frequencies (kHz):  32  48  44.1\n")) << rate.err;
  EXPECT_TRUE(rate.err.ends_with("\nMPEG-2.5 layer III sample frequencies (kHz):   8  12  11.025\n"
                                 "bitrates (kbps):  8 16 24 32 40 48 56 64 80 96 112 128 144 160\n\n"
                                 "fatal error during initialization\n"));
}

}  // namespace
}  // namespace tunekiln::test
