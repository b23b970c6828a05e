// The WAVE header reader, what a file is, and a decoded file seen as a WAVE file. The commands'
// and the decoders' tests read every encoding, form and format through them; here, what only
// they can tell apart.
#include <gtest/gtest.h>

#include "audiofile/decoded_wave.h"
#include "audiofile/file_identity.h"
#include "audiofile/id3v2_tags.h"
#include "audiofile/info_tags.h"
#include "audiofile/wave_header.h"
#include "tests/support/mp3_maker.h"
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

// Files not read, and whether a reason line says why. The kinds that are read are told apart by
// the decoders' and the commands' tests, AIFC and FLAC by the audio input and save-to-MP3 tests,
// where a file not recognised would be encoded as raw samples.
TEST(FileIdentity, WhatIsNotReadAndWhetherTheReasonIsTold) {
  Bytes avi = make_wav({}, Bytes(8));
  std::copy_n("AVI ", 4, avi.begin() + 8);
  // The first page of an Ogg stream: one segment, of a 5-byte packet
  const Bytes speex = Bytes{'O', 'g', 'g', 'S'} + Bytes(22) + Bytes{1, 5, 'S', 'p', 'e', 'e', 'x'};
  const std::pair<Bytes, bool> rows[] = {{speex, true}, {avi, true}, {Bytes(8, 0), false}};
  for (const auto& [file, told] : rows) {
    const FileIdentity identity = identify_file(MemoryByteReader(file));
    EXPECT_EQ(std::tuple(identity.kind, identity.reason.empty()), std::tuple(FileKind::unknown, !told));
  }
}

// A Latin-1 title behind a frame of 200 bytes, whose size version 4 alone gives in 7-bit bytes
// (0 0 1 72), and behind version 3's extended header, whose size leaves out its own 4 bytes.
TEST(Id3v2Tags, TitleBehindALongFrameOrAnExtendedHeader) {
  const Bytes title = {'T', 'I', 'T', '2', 0, 0, 0, 5, 0, 0, 0, 'T', 0xFC, 'n', 'e'};
  const Bytes longFrame = Bytes{'P', 'R', 'I', 'V', 0, 0, 1, 72, 0, 0} + Bytes(200, 1);
  const Bytes tags[] = {Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 1, 97} + longFrame + title,
                        Bytes{'I', 'D', '3', 3, 0, 0x40, 0, 0, 0, 25, 0, 0, 0, 6} + Bytes(6) + title};
  for (const Bytes& tag : tags) EXPECT_EQ(read_id3v2_tags(MemoryByteReader(tag)).title, "T\u00fcne");
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
    EXPECT_EQ(std::tuple(parse.header->form, parse.header->dataBytes()),
              std::tuple(frames > 1 << 29 ? RiffForm::rf64 : RiffForm::riff, frames * 8));
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
