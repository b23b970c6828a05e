// The WAVE header reader, what a file is, and a decoded file seen as a WAVE file. The commands'
// and the decoders' tests read every encoding, form and format through them; here, what only
// they can tell apart.
#include <gtest/gtest.h>

#include "audiofile/decoded_wave.h"
#include "audiofile/file_identity.h"
#include "audiofile/info_tags.h"
#include "audiofile/wave_header.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

TEST(WaveHeader, RefusalsAndLongData) {
  const auto parse = [](const Bytes& file) { return read_wave_header(MemoryByteReader(file)); };
  // An EXTENSIBLE subformat outside the family of PCM and float, told apart by its GUID's tail.
  Bytes foreignSubformat = make_wav({.extensible = true}, Bytes(8));
  foreignSubformat[20 + 30] ^= 0xFF;
  EXPECT_EQ(parse(foreignSubformat).result, AudioFileResult::unsupportedEncoding);
  EXPECT_EQ(parse(make_wav({.sampleRate = 0}, Bytes(8))).result, AudioFileResult::damaged);
  const auto file = make_wav({.declaredDataSize = 0xFFFFFFFF}, samples16({1, 2, 3, 4}));
  EXPECT_EQ(parse(file).header->dataEnd, file.size());
}

// The first page of an Ogg stream whose first packet is `packet`.
Bytes ogg_page(const std::string& packet) {
  Bytes page = {'O', 'g', 'g', 'S', 0, 2};
  page.resize(26, 0);
  page.push_back(1);
  page.push_back(static_cast<std::uint8_t>(packet.size()));
  page.insert(page.end(), packet.begin(), packet.end());
  return page;
}

// AIFC and FLAC are told apart in the audio input and save-to-MP3 tests, where a file not
// recognised would be encoded as raw samples.
TEST(FileIdentity, FromTheFirstBytes) {
  using enum FileKind;
  Bytes tagged = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 2, 0, 0};
  const Bytes wav = make_wav({}, Bytes(8));
  tagged.insert(tagged.end(), wav.begin(), wav.end());
  Bytes avi = wav;
  std::copy_n("AVI ", 4, avi.begin() + 8);
  const struct {
    Bytes file;
    FileKind kind;
    std::uint64_t start;
    std::string reason;
  } rows[] = {
      {tagged, wave, 12, ""},
      {ogg_page("\x01vorbis"), oggVorbis, 0, ""},
      {ogg_page("OpusHead"), oggOpus, 0, ""},
      {ogg_page("Speex   "), unknown, 0, "an Ogg stream of neither Vorbis nor Opus audio is not supported"},
      {avi, unknown, 0, "a RIFF file that holds no WAVE audio is not supported"},
      {Bytes(8, 0), unknown, 0, ""},
  };
  for (const auto& row : rows) {
    const FileIdentity identity = identify_file(MemoryByteReader(row.file));
    EXPECT_EQ(std::tuple(identity.kind, identity.start, identity.reason),
              std::tuple(row.kind, row.start, row.reason));
  }
}

// Frames whose every byte tells where it stands, as many as asked for.
class CountingSource final : public PcmSource {
 public:
  CountingSource(std::uint64_t frames, SampleEncoding encoding)
      : format_(PcmFormat::make(48000, 2, encoding).value()), frames_(frames) {}
  const PcmFormat& format() const override { return format_; }
  std::uint64_t frames() const override { return frames_; }
  FramesRead read(std::uint8_t* out, std::size_t count) override {
    const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(count, frames_ - position_));
    for (std::size_t i = 0; i < frames * format_.bytesPerFrame(); ++i) out[i] = byte_at(position_ * 8 + i);
    position_ += frames;
    return {frames, frames == count ? AudioFileResult::ok : AudioFileResult::endOfData};
  }
  bool seek(std::uint64_t frame) override {
    position_ = frame;
    return true;
  }
  InfoTags tags() const override { return {.title = "Tune", .track = "3"}; }
  static std::uint8_t byte_at(std::uint64_t n) { return static_cast<std::uint8_t>(n * 7 + n / 251); }

 private:
  PcmFormat format_;
  std::uint64_t frames_;
  std::uint64_t position_ = 0;
};

TEST(DecodedWave, HeaderTagsAndSamplesWhereverRead) {
  for (const std::uint64_t frames : {std::uint64_t{100000}, std::uint64_t{1} << 30}) {
    const DecodedWave wave(std::make_unique<CountingSource>(frames, SampleEncoding::float32));
    const WaveParse parse = read_wave_header(wave);
    ASSERT_EQ(parse.result, AudioFileResult::ok);
    // Beyond 4 GiB of samples the sizes stand in `ds64`.
    EXPECT_EQ(std::tuple(parse.header->form, parse.header->dataBytes(), parse.header->format.isFloat()),
              std::tuple(frames > 1 << 29 ? RiffForm::rf64 : RiffForm::riff, frames * 8, true));
    const InfoTags tags = read_info_tags(wave);
    EXPECT_EQ(std::tuple(tags.title, tags.track), std::tuple("Tune", "3"));
    // Far ahead, back to the start, and on across a block's end.
    for (const std::uint64_t at : {frames * 8 - 20, std::uint64_t{3}, std::uint64_t{8192 * 8 - 5}}) {
      std::uint8_t bytes[12];
      ASSERT_TRUE(wave.readExactly(parse.header->dataBegin + at, bytes, sizeof bytes));
      for (std::uint64_t i = 0; i < sizeof bytes; ++i) {
        EXPECT_EQ(bytes[i], CountingSource::byte_at(at + i)) << at;
      }
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
