// The WAVE header reader. The operations' and the decoder's tests read every encoding and form
// through it; here, the files that only it can tell apart.
#include <gtest/gtest.h>

#include "audiofile/wave_header.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

TEST(WaveHeader, RefusalsAndLongData) {
  using enum AudioFileResult;
  // An EXTENSIBLE subformat outside the family of PCM and float, told apart by its GUID's tail.
  Bytes foreignSubformat = make_wav({.extensible = true}, Bytes(8));
  foreignSubformat[20 + 30] ^= 0xFF;
  const std::pair<Bytes, AudioFileResult> rows[] = {
      {foreignSubformat, unsupportedEncoding},
      {make_wav({.sampleRate = 0}, Bytes(8)), damaged},
  };
  for (const auto& [file, result] : rows) EXPECT_EQ(read_wave_header(MemoryByteReader(file)).result, result);
  const auto file = make_wav({.declaredDataSize = 0xFFFFFFFF}, samples16({1, 2, 3, 4}));
  EXPECT_EQ(read_wave_header(MemoryByteReader(file)).header->dataEnd, file.size());
}

}  // namespace
}  // namespace tunekiln::test
