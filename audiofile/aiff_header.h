#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// What a `COMM` chunk states. Which of its encodings can be read is the caller's choice.
struct AiffFields {
  bool compressedForm = false;  // an AIFC file, whose `COMM` names a compression type
  std::array<char, 4> compression{'N', 'O', 'N', 'E'};
  std::int16_t channels = 0;
  std::uint32_t sampleFrames = 0;
  std::int16_t sampleSize = 0;  // bits
  double sampleRate = 0;        // from its 80-bit form: infinite or fractional in a damaged file

  bool compressionIs(const char (&name)[5]) const {
    return compression == std::array<char, 4>{name[0], name[1], name[2], name[3]};
  }
};

// Where the parts of an AIFF or AIFC file are.
struct AiffHeader {
  AiffFields fields;
  std::uint32_t blockOffset = 0;  // of `SSND`: bytes between its fields and the first sample
  std::uint32_t blockSize = 0;
  std::uint64_t soundBegin = 0;   // the first sample byte; the samples run on to the end of the input
};

struct AiffParse {
  AudioFileResult result = AudioFileResult::notThisFormat;  // ok, notThisFormat, damaged or readFailed
  std::optional<AiffHeader> header;                         // when result is ok
};

// Walks the chunks of a FORM AIFF or AIFC file that starts at `start` until both `COMM` and
// `SSND` are found, in either order. Chunks are skipped by their size and pad byte; the walk
// ends where the FORM size says. damaged when either chunk is missing or `COMM` is too short.
AiffParse read_aiff_header(const ByteReader& reader, std::uint64_t start = 0);

// An 80-bit IEEE 754 extended-precision number, high byte first, as AIFF stores its sample rate.
double ieee_extended_to_double(const std::uint8_t* bytes);

}  // namespace tunekiln
