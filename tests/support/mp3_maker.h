#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// A sine tone as interleaved 16-bit PCM: 440 Hz on the left, 660 Hz on the right (if any).
struct ToneShape {
  int sampleRate = 44100;
  int channels = 2;
  double seconds = 2.0;
  // A fraction of full scale.
  double amplitude = 0.5;
  // Instead a loud sweep with noise on top, so every subband of an MP3 frame carries something.
  bool noisySweep = false;
};

std::vector<std::int16_t> make_tone(const ToneShape& tone);
Bytes little_endian_bytes(const std::vector<std::int16_t>& samples);

inline Bytes operator+(Bytes front, const Bytes& back) {
  front.insert(front.end(), back.begin(), back.end());
  return front;
}

// How libmp3lame encodes a test file.
struct Mp3Shape {
  ToneShape tone;
  // Otherwise constant at `kbps`
  bool variableBitrate = false;
  int kbps = 128;
  // A first frame with a "Xing" header (frame count and table of contents) and the LAME tag.
  bool tagFrame = false;
  // `kbps` stated nowhere but in the frames' length
  bool freeFormat = false;
};

Bytes make_mp3(const Mp3Shape& shape);

// An ID3v2 tag of `bodyBytes` zero bytes behind its 10-byte header, the size in 7-bit bytes.
Bytes id3v2_tag(std::uint32_t bodyBytes);

// A layer III frame found by walking the frame headers from the start of a file: an account
// of the file made without libmad.
struct MpegFrame {
  std::size_t offset;
  int kbps;
};
// Free-format frames count when their bitrate is given.
std::vector<MpegFrame> mpeg_frames(const Bytes& file, int freeFormatKbps = 0);

}  // namespace tunekiln::test
