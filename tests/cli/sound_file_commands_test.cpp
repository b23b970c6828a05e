// FLAC, Ogg Vorbis, Opus and MP3 files through every file command, as a user runs them; the
// samples against what libsndfile itself reads from the same file.
#include <gtest/gtest.h>

#include <cmath>

#include "audiofile/id3v2_tags.h"
#include "audiofile/pcm_samples.h"
#include "audiofile/wave_header.h"
#include "tests/cli/run_cli.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/sound_file_maker.h"

namespace tunekiln::test {
namespace {

struct Wave {
  PcmFormat format;
  std::vector<double> samples;  // full scale at ±1
};

Wave wave_of(const std::string& path) {
  const Bytes bytes = read_file(path);
  const WaveHeader header = read_wave_header(MemoryByteReader(bytes)).header.value();
  Wave wave{header.format, {}};
  const std::uint32_t width = header.format.bytesPerSample();
  for (std::uint64_t at = header.dataBegin; at + width <= header.dataEnd; at += width) {
    wave.samples.push_back(pcm::load_real(bytes.data() + at, header.format.encoding()));
  }
  return wave;
}

// The largest difference between `got` and the channel(s) of `expected`.
double largest_error(const std::vector<double>& got, const std::vector<float>& expected,
                     std::size_t channels) {
  double error = got.size() == expected.size() / (2 / channels) ? 0 : INFINITY;
  for (std::size_t i = 0; i < got.size() && std::isfinite(error); ++i) {
    error = std::max(error, std::abs(got[i] - expected[2 * (i / channels) + i % channels]));
  }
  return error;
}

TEST(SoundFileCommands, EveryCommandReadsEachFormat) {
  TempDir dir;
  const std::string in = dir.file("in"), out = dir.file("out.wav"), mp3 = dir.file("out.mp3");
  // Each file, the decoder `info` names, and the width of the samples the WAV operations write.
  const std::tuple<SoundFileShape, std::string, unsigned> rows[] = {
      {{.bits = 16}, "flac", 16},
      {{.bits = 24, .rate = 96000}, "flac", 24},
      {{.bits = 8}, "flac", 8},
      {{.kind = FileKind::oggVorbis}, "vorbis", 32},
      {{.kind = FileKind::oggOpus, .rate = 48000}, "opus", 32}};
  for (const auto& [rowShape, decoder, storedBits] : rows) {
    SCOPED_TRACE(decoder + std::to_string(storedBits));
    SoundFileShape shape = rowShape;
    shape.title = "Tune";
    const Bytes file = make_sound_file(shape);
    const std::vector<float> expected = sound_file_samples(file);
    const std::size_t frames = expected.size() / 2;
    ASSERT_GT(frames, 0u);
    write_file(in, file);

    const std::string info = cli({"info", in}).out;
    const std::string lines = "decoder=" + decoder + "\nbitsPerSample=" + std::to_string(storedBits) + "\n";
    EXPECT_TRUE(has(info, lines)) << info;
    // 8 and 16 bits as they are; wider and float samples dithered to 16 bits, the noise shaped.
    ASSERT_EQ(cli({"decode", in, out}).status, 0);
    const Wave decoded = wave_of(out);
    EXPECT_EQ(decoded.format.bitsPerSample(), storedBits == 8 ? 8u : 16u);
    EXPECT_LE(largest_error(decoded.samples, expected, 2), storedBits <= 16 ? 0 : 4.0 / 32768);
    // The WAV operations keep FLAC's width and Vorbis's and Opus's floats exactly.
    ASSERT_EQ(cli({"left", in, out}).status, 0);
    const Wave left = wave_of(out);
    EXPECT_EQ(left.format.bitsPerSample(), storedBits);
    EXPECT_EQ(largest_error(left.samples, expected, 1), 0);
    ASSERT_EQ(cli({"cut", in, out, "--start", "0.5", "--end", "1.5"}).status, 0);
    const std::size_t half = shape.rate / 2;
    const std::vector kept(expected.begin() + 2 * half, expected.begin() + 6 * half);
    EXPECT_EQ(largest_error(wave_of(out).samples, kept, 2), 0);
    EXPECT_TRUE(has(cli({"analyse", in}).out, "\nframes=" + std::to_string(frames) + "\n"));
    // The file's tags go into the MP3; an option wins over its tag.
    ASSERT_EQ(cli({"encode", in, mp3, "--artist", "Other"}).status, 0);
    const InfoTags tags = read_id3v2_tags(MemoryByteReader(read_file(mp3)));
    EXPECT_EQ(std::tuple(tags.title, tags.artist), std::tuple("Tune", "Other"));
  }

  // An MP3 file is decoded by the engine's decoder, for the WAV operations as for decode; its
  // ID3v2 title, in UTF-16, goes into the new MP3.
  const Bytes title = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 21, 'T', 'I', 'T', '2', 0, 0, 0, 11, 0, 0,
                       1, 0xFF, 0xFE, 'T', 0, 0xFC, 0, 'n', 0, 'e', 0};
  write_file(in, title + make_mp3({.tone = {.seconds = 1.0}, .tagFrame = true}));
  ASSERT_EQ(cli({"decode", in, out}).status, 0);
  const std::vector<double> decoded = wave_of(out).samples;
  ASSERT_EQ(cli({"right", in, out}).status, 0);
  const std::vector<double> right = wave_of(out).samples;
  EXPECT_EQ(right.size(), decoded.size() / 2);
  EXPECT_EQ(right[1000], decoded[2001]);
  const auto encoded = cli({"encode", in, mp3});
  EXPECT_EQ(encoded.status, 0);
  EXPECT_TRUE(has(encoded.err, "quality is lost")) << encoded.err;
  EXPECT_EQ(read_id3v2_tags(MemoryByteReader(read_file(mp3))).title, "T\u00fcne");
}

// A damaged frame, a stream cut short and a header that lies: a read error or a refusal with
// the reason under it, status 1, and no output left behind.
TEST(SoundFileCommands, DamagedStreamsFailWithTheirReason) {
  TempDir dir;
  const std::string out = dir.file("out");
  Bytes flac = make_sound_file({});
  for (std::size_t i = flac.size() / 2; i < flac.size() / 2 + 200; ++i) flac[i] ^= 0x5A;
  const Bytes ogg = make_sound_file({.kind = FileKind::oggVorbis, .seconds = 10});
  Bytes opus = make_sound_file({.kind = FileKind::oggOpus, .rate = 48000});
  opus[37] = 7;  // the channel count of OpusHead, in the first page behind its 28-byte header
  // Cut where a page begins: the last page left is whole, but not marked as the stream's last.
  const auto page = std::search(ogg.begin() + ogg.size() / 2, ogg.end(), "OggS", "OggS" + 4);
  const std::pair<std::string, Bytes> files[] = {
      {"damaged.flac", flac}, {"cut.ogg", Bytes(ogg.begin(), page)},
      {"lying.opus", opus}};
  for (const auto& [name, bytes] : files) {
    const std::string in = dir.file(name);
    write_file(in, bytes);
    for (const Words& command : {Words{"decode", in, out}, Words{"left", in, out}, Words{"encode", in, out},
                                 Words{"analyse", in}}) {
      const auto result = cli(command);
      SCOPED_TRACE(command[0] + " " + name);
      EXPECT_EQ(std::tuple(result.status, std::filesystem::exists(out)), std::tuple(1, false));
      EXPECT_TRUE(has(result.err, in + ": the ")) << result.err;
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
