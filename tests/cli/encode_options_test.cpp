// encode's choices: the bitrate and its mode, and ID3v2 tags from the options and from a WAVE
// file's LIST/INFO chunk.
#include <gtest/gtest.h>

#include <algorithm>

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

bool contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}


TEST(EncodeOptions, BitrateModeAndTagsReachTheMp3) {
  TempDir dir;
  const Bytes tone = ramp_bytes(44100);
  write_file(dir.file("plain.wav"), make_wav({}, tone));
  write_file(dir.file("tagged.wav"),
             make_wav({.bytesAfterData = make_info_list({{"INAM", "Caf\xe9"}, {"IART", "From the file"}, {"IPRT", "7"}})},
                      tone));
  const struct {
    std::string input;
    std::vector<std::string> options;
    std::vector<Bytes> present, absent;
  } cases[] = {
      {"plain.wav", {}, {Bytes{'I', 'n', 'f', 'o'}}, {Bytes{'I', 'D', '3'}, Bytes{'X', 'i', 'n', 'g'}}},
      {"plain.wav", {"--vbr", "2", "--quality", "9"}, {Bytes{'X', 'i', 'n', 'g'}}, {Bytes{'I', 'D', '3'}}},
      {"tagged.wav",
       {"--artist", "Över", "--album", "漢字", "--year", "2024", "--comment", "c"},
       {utf16_frame_text(u"Café"), utf16_frame_text(u"Över"), utf16_frame_text(u"漢字"), utf16_frame_text(u"7"),
        utf16_frame_text(u"2024"), utf16_frame_text(u"c")},
       {utf16_frame_text(u"From the file")}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{TUNEKILN_CLI, "--quiet", "encode", dir.file(c.input), dir.file("out.mp3")};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const auto result = run_program(arguments);
    ASSERT_EQ(result.status, 0) << result.err;
    const Bytes mp3 = read_file(dir.file("out.mp3"));
    for (const auto& bytes : c.present) EXPECT_TRUE(contains(mp3, bytes)) << c.options.size();
    for (const auto& bytes : c.absent) EXPECT_FALSE(contains(mp3, bytes)) << c.options.size();
  }

  ASSERT_EQ(run_program({TUNEKILN_CLI, "encode", dir.file("plain.wav"), dir.file("192.mp3"), "--bitrate", "192"}).status, 0);
  const Bytes cbr = read_file(dir.file("192.mp3"));
  // The first frame carries the LAME Tag at a bitrate of its own; the second is music.
  constexpr int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  ASSERT_GT(cbr.size(), 4u);
  const std::size_t second = 144000 * kKbps[cbr[2] >> 4] / 44100 + (cbr[2] >> 1 & 1);
  ASSERT_GT(cbr.size(), second + 4);
  EXPECT_EQ(kKbps[cbr[second + 2] >> 4], 192);
}

}  // namespace
}  // namespace tunekiln::test
