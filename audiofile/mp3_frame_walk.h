#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// What a walk over every MPEG audio frame header of a file found, without decoding any.
struct Mp3FrameWalk {
  AudioFileResult result = AudioFileResult::notThisFormat;  // ok, readFailed or notThisFormat
  std::uint64_t frames = 0;              // audio frames; a Xing, Info or VBRI tag frame is not one
  std::uint64_t samplesPerChannel = 0;   // what those frames decode to
  std::uint32_t sampleRate = 0;
  std::uint64_t audioBytes = 0;          // the audio frames' bytes
  bool tagFrame = false;                 // the first frame carries a Xing, Info or VBRI tag
  std::vector<std::uint64_t> frameOffsets;  // where each audio frame starts, when asked for

  double seconds() const { return sampleRate == 0 ? 0 : static_cast<double>(samplesPerChannel) / sampleRate; }
  // Bits per second over the audio frames, in kilobits.
  double averageKbps() const { return seconds() == 0 ? 0 : audioBytes * 8.0 / 1000.0 / seconds(); }
};

// Where MPEG audio starts at or behind `offset`: the first frame header that the next one confirms
// (or the end of the audio, for a single frame), looked for within the first 64 KiB. Free-format
// frames, whose length no header states, count only right at `offset`, as a chain of frames of
// one length: quiet 16-bit samples repeat such a header at a steady spacing often enough that a
// search behind junk would find one in many a raw recording. Nothing when the bytes are not
// MPEG audio, so that a stray sync pattern in other data is never taken for it.
std::optional<std::uint64_t> find_mpeg_audio(const ByteReader& reader, std::uint64_t offset);

// Walks the frames behind an ID3v2 tag, resynchronising over junk only where the next header
// confirms a frame, and stops at the end of the audio (an ID3v1 or APE tag, or the file's end).
// With `keepOffsets`, records each audio frame's offset for seeking. A walk that finds `stop` set
// ends early, as if the audio ended there.
Mp3FrameWalk walk_mp3_frames(const ByteReader& reader, bool keepOffsets = false,
                             const std::atomic<bool>* stop = nullptr);

}  // namespace tunekiln
