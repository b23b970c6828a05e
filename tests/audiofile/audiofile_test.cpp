#include <gtest/gtest.h>

#include "audiofile/pcm_samples.h"
#include "audiofile/wave_header.h"
#include "tests/support/failing_reader.h"
#include "tests/support/wav_builder.h"

namespace tunekiln {
namespace {

using test::Bytes;
using test::FailingReader;

WaveParse parse(const Bytes& file) { return read_wave_header(MemoryByteReader(file)); }

struct FormatRow {
  test::WavShape shape;
  SampleEncoding encoding;
};

TEST(WaveHeader, ReadsEveryEncodingInEveryForm) {
  const FormatRow rows[] = {
      {{.channels = 2, .bits = 8}, SampleEncoding::unsigned8},
      {{.channels = 1, .bits = 16}, SampleEncoding::signed16},
      {{.channels = 2, .bits = 24}, SampleEncoding::signed24},
      {{.channels = 2, .bits = 32}, SampleEncoding::signed32},
      {{.channels = 2, .bits = 32, .formatTag = 3}, SampleEncoding::float32},
      {{.channels = 1, .bits = 64, .formatTag = 3}, SampleEncoding::float64},
      {{.channels = 2, .bits = 24, .extensible = true}, SampleEncoding::signed24},
      {{.channels = 2, .bits = 32, .formatTag = 3, .extensible = true}, SampleEncoding::float32},
      {{.channels = 6, .bits = 16, .rf64 = true}, SampleEncoding::signed16},
  };
  for (const auto& row : rows) {
    const Bytes samples = test::ramp_bytes(10 * row.shape.channels * row.shape.bits / 8u);
    const auto file = test::make_wav(row.shape, samples);
    const auto result = parse(file);
    ASSERT_EQ(result.result, AudioFileResult::ok) << row.shape.bits << " bits, tag " << row.shape.formatTag;
    EXPECT_EQ(result.header->format.encoding(), row.encoding);
    EXPECT_EQ(result.header->format.channels(), row.shape.channels);
    EXPECT_EQ(result.header->frameCount(), 10u);
    EXPECT_EQ(result.header->dataEnd, file.size());
    EXPECT_EQ(result.header->form, row.shape.rf64 ? RiffForm::rf64 : RiffForm::riff);
  }
}

TEST(WaveHeader, FindsTheDataChunkByWalkingNotByItsBytes) {
  // A title holding "da" and an odd-sized chunk (with its pad byte) in front of the format and data.
  Bytes junk = test::make_chunk("JUNK", Bytes(7, 'd'));
  junk.push_back(0);
  const auto list = test::make_info_list({{"INAM", "Canada day"}, {"ICMT", "data"}});
  const auto file = test::make_wav({.chunksBeforeFormat = junk, .chunksBeforeData = list}, test::samples16({1, -1}));
  const auto result = parse(file);
  ASSERT_EQ(result.result, AudioFileResult::ok);
  EXPECT_EQ(result.header->dataBegin, file.size() - 4);
  ASSERT_TRUE(result.header->info.has_value());
  EXPECT_EQ(result.header->info->offset, 12 + junk.size() + 24);
}

TEST(WaveHeader, TellsWhatItCannotRead) {
  const struct {
    Bytes file;
    AudioFileResult expected;
  } rows[] = {
      {test::make_wav({.bits = 4, .formatTag = 0x11}, Bytes(8)), AudioFileResult::unsupportedEncoding},
      {test::make_wav({.bits = 12}, Bytes(8)), AudioFileResult::unsupportedEncoding},
      {test::make_wav({.bits = 24, .formatTag = 3}, Bytes(12)), AudioFileResult::unsupportedEncoding},
      {test::make_wav({.channels = 0}, Bytes(8)), AudioFileResult::damaged},
      {test::make_wav({.sampleRate = 0}, Bytes(8)), AudioFileResult::damaged},
      {Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0, 0xFF, 0xFB}, AudioFileResult::notThisFormat},
      {Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, AudioFileResult::damaged},
  };
  for (const auto& row : rows) EXPECT_EQ(parse(row.file).result, row.expected);

  auto headerOnly = test::make_wav({}, test::samples16({1, 2}));
  headerOnly.resize(30);  // cut inside the format chunk
  EXPECT_EQ(parse(headerOnly).result, AudioFileResult::damaged);

  const auto fields = parse(test::make_wav({.channels = 6, .bits = 24, .formatTag = 3}, Bytes(36))).fields;
  EXPECT_EQ(describe_wave_encoding(fields), "24-bit float in a 6-channel file");
}

TEST(WaveHeader, KeepsAReadFailureApartFromAnEnd) {
  const auto file = test::make_wav({.chunksBeforeData = test::make_chunk("LIST", Bytes(64))}, test::samples16({1}));
  EXPECT_EQ(read_wave_header(FailingReader(file, 50)).result, AudioFileResult::readFailed);

  Bytes buffer(4);
  const MemoryByteReader memory(file);
  EXPECT_EQ(memory.readAt(file.size() - 2, buffer.data(), 4).status, AudioFileResult::endOfData);
  EXPECT_EQ(memory.readAt(file.size() - 2, buffer.data(), 4).bytes, 2u);
}

TEST(WaveHeader, ADataSizeOfZeroOrPastTheEndRunsToTheEnd) {
  for (const std::uint32_t declared : {0u, 0xFFFFFFFFu, 1000u}) {
    const auto file = test::make_wav({.declaredDataSize = declared}, test::samples16({1, 2, 3, 4}));
    EXPECT_EQ(parse(file).header->dataEnd, file.size()) << declared;
  }
}

TEST(PcmSamples, ReadAndClipEveryEncoding) {
  const std::uint8_t s24[] = {0x00, 0x00, 0x80};  // the most negative 24-bit value
  EXPECT_EQ(pcm::load_integer(s24, SampleEncoding::signed24), -8388608);
  EXPECT_EQ(pcm::load_full_scale32(s24, SampleEncoding::signed24), INT32_MIN);

  std::uint8_t out[4];
  pcm::store_integer(out, SampleEncoding::signed24, 9000000);
  EXPECT_EQ(pcm::load_integer(out, SampleEncoding::signed24), 8388607);
  pcm::store_integer(out, SampleEncoding::unsigned8, -500);
  EXPECT_EQ(out[0], 0);

  for (const double value : {1.5, -3.0}) {
    pcm::store_float(out, SampleEncoding::float32, value);
    EXPECT_EQ(pcm::load_full_scale32(out, SampleEncoding::float32), value > 0 ? INT32_MAX : INT32_MIN);
  }
}

}  // namespace
}  // namespace tunekiln
