#pragma once

#include <cstdint>
#include <optional>

namespace tunekiln {

// The four-byte header of an MPEG audio frame (layers I to III, MPEG 1, 2 and 2.5).
struct MpegFrameHeader {
  std::uint32_t sampleRate;
  std::uint32_t samples;  // per channel
  std::uint32_t bytes;    // the whole frame, header and padding included
  int version;            // 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5
  int layer;              // 1, 2 or 3
  bool mono;

  // Frames of one stream agree on everything but bitrate and padding.
  bool sameStreamAs(const MpegFrameHeader& other) const {
    return sampleRate == other.sampleRate && layer == other.layer && version == other.version;
  }
};

// The header at `bytes`, or nothing for bytes that are no frame header of a known length
// (a free-format or reserved bitrate, a reserved version, layer or rate).
std::optional<MpegFrameHeader> parse_mpeg_frame_header(const std::uint8_t* bytes);

// True for the header of a free-format frame: valid but for its bitrate, which the stream keeps
// to itself, so its length shows only where the next header stands.
bool is_free_format_header(const std::uint8_t* bytes);

// Free-format frames of one stream repeat their header but for the padding bit.
bool same_free_format_stream(const std::uint8_t* header, const std::uint8_t* other);

}  // namespace tunekiln
