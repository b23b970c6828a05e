#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// The header of a test WAV file; by default a well-formed 44-byte PCM header.
struct WavShape {
  std::uint16_t channels = 2;
  std::uint32_t sampleRate = 44100;
  std::uint16_t bits = 16;
  std::uint16_t formatTag = 1;
  bool extensible = false;          // WAVE_FORMAT_EXTENSIBLE with formatTag as its subformat
  bool rf64 = false;                // "RF64" with a ds64 chunk; the 32-bit sizes say "see ds64"
  Bytes chunksBeforeFormat;         // whole chunks between "WAVE" (or ds64) and "fmt "
  std::optional<std::uint32_t> declaredDataSize;  // default: the real size
  Bytes chunksBeforeData;  // whole chunks between "fmt " and "data"
  Bytes bytesAfterData;    // a chunk behind the samples
};

Bytes make_wav(const WavShape& shape, const Bytes& samples);

// Sample values in the shape's encoding: integers as stored (8-bit ones around 0), floats as they are.
Bytes encode_samples(const WavShape& shape, const std::vector<double>& values);

// A whole chunk: id, little-endian size, body (no pad byte).
Bytes make_chunk(const char id[4], const Bytes& body);

// A LIST chunk of the INFO kind: pairs of a four-character id and its text.
Bytes make_info_list(std::initializer_list<std::pair<const char*, std::string>> entries);

// The header of a test AIFF or AIFC file; by default 16-bit stereo AIFF at 44100 Hz.
struct AiffShape {
  const char* formType = "AIFF";
  const char* compression = "NONE";  // AIFC only
  std::int16_t channels = 2;
  std::int16_t sampleSize = 16;
  double sampleRate = 44100;  // a whole number, or infinity
  std::uint32_t blockSize = 0;
  bool soundBeforeCommon = false;
};

// The samples are big-endian, or as the compression type says.
Bytes make_aiff(const AiffShape& shape, const Bytes& samples);

Bytes samples16(std::initializer_list<std::int32_t> values);
// `count` frames of a ramp that touches every byte value: tells swapped or shifted data apart.
Bytes ramp_bytes(std::size_t count);

std::uint16_t le16(const Bytes& bytes, std::size_t offset);
std::uint32_t le32(const Bytes& bytes, std::size_t offset);

}  // namespace tunekiln::test
