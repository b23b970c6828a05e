#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audiofile/byte_reader.h"
#include "audiofile/pcm_format.h"
#include "audiofile/riff_walker.h"

namespace tunekiln {

// The encoding fields of a `fmt ` chunk as the file states them, also when they are not read
// here: the reason line of a refusal is made from them.
struct WaveFormatFields {
  std::uint16_t formatTag = 0;  // the EXTENSIBLE subformat's tag where there is one
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint16_t bitsPerSample = 0;
  bool extensible = false;
};

// The format tag of MPEG layer III in a WAVE file, which the MP3 decoder reads, not the WAVE reader.
inline constexpr std::uint16_t kWaveFormatMpegLayer3 = 0x0055;

// Where the parts of a readable WAVE file are.
struct WaveHeader {
  RiffForm form = RiffForm::riff;
  PcmFormat format;
  RiffChunk fmt;
  RiffChunk data;
  std::optional<RiffChunk> ds64;  // RF64 and BW64: where the 64-bit sizes stand
  std::optional<RiffChunk> info;  // a LIST chunk of the INFO kind, in front of the data
  std::optional<RiffChunk> fact;  // the sample count of a compressed or float file, in front of the data
  std::optional<RiffChunk> junk;  // a JUNK chunk first behind the file header: room kept for a `ds64`
  // The sample bytes: from the data chunk's body to its declared end, or to the end of the
  // input when the declared size is 0 (a file still being written) or reaches past it.
  std::uint64_t dataBegin = 0;
  std::uint64_t dataEnd = 0;

  std::uint64_t dataBytes() const { return dataEnd - dataBegin; }
  std::uint64_t frameCount() const { return dataBytes() / format.bytesPerFrame(); }
};

struct WaveParse {
  AudioFileResult result = AudioFileResult::notThisFormat;
  std::optional<WaveHeader> header;  // when result is ok
  WaveFormatFields fields;           // whatever of `fmt ` was read
};

// Reads the header of a RIFF, RF64 or BW64 WAVE file that starts at `start` (behind an ID3v2
// tag, for example): integer PCM of 8, 16, 24 and 32 bits and IEEE float of 32 and 64 bits,
// plain or as WAVE_FORMAT_EXTENSIBLE, any number of channels.
WaveParse read_wave_header(const ByteReader& reader, std::uint64_t start = 0);

// "24-bit float in a 6-channel file", "IMA ADPCM": what the fields describe, for a reason line.
std::string describe_wave_encoding(const WaveFormatFields& fields);

// The end of an ID3v2 tag at the start of the input, or 0 when there is none.
std::uint64_t id3v2_tag_end(const ByteReader& reader);

}  // namespace tunekiln
