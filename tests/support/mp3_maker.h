#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// A sine tone as interleaved 16-bit PCM; the right channel (if any) has its own frequency.
struct ToneShape {
  int sampleRate = 44100;
  int channels = 2;
  double seconds = 2.0;
  double leftFrequency = 440.0;
  double rightFrequency = 660.0;
  double amplitude = 0.5;  // of full scale
};

std::vector<std::int16_t> make_tone(const ToneShape& tone);
Bytes little_endian_bytes(const std::vector<std::int16_t>& samples);

// How libmp3lame encodes a test file.
struct Mp3Shape {
  ToneShape tone;
  bool variableBitrate = false;  // otherwise constant at `kbps`
  int kbps = 128;
  // A first frame with a "Xing" header (variable bitrate, with frame count and table of
  // contents) or an "Info" header (constant bitrate), followed by the LAME tag.
  bool tagFrame = false;
};

Bytes make_mp3(const Mp3Shape& shape);

// An ID3v2 tag of `bodyBytes` zero bytes behind its 10-byte header, the size in 7-bit bytes.
Bytes id3v2_tag(std::uint32_t bodyBytes);

// The frames of an MPEG audio layer III stream, found by walking their headers from `start`:
// an account of the file made without libmad.
struct MpegFrames {
  std::vector<std::size_t> offsets;
  std::vector<int> kbps;  // each frame's bitrate
  int samplesPerFrame = 0;
  int sampleRate = 0;
  int channels = 0;
};

MpegFrames walk_mpeg_frames(const Bytes& file, std::size_t start = 0);

// The fields of the Xing header in the first frame at `frameOffset`.
struct XingFields {
  bool present = false;
  std::uint32_t flags = 0;
  std::uint32_t frames = 0;
  std::vector<std::uint8_t> toc;
};

XingFields read_xing(const Bytes& file, std::size_t frameOffset);

}  // namespace tunekiln::test
