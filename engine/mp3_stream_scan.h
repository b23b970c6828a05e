#pragma once

#include <mad.h>

#include <array>
#include <cstdint>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// The Xing header some encoders put into the first frame of a stream ("Info" when the stream has
// a constant bitrate).
struct XingHeader {
  std::uint32_t flags = 0;  // which of the fields below are present; 0 when there is no header
  bool info = false;        // the header is an "Info" one
  std::uint32_t frames = 0;
  std::uint32_t bytes = 0;
  std::array<std::uint8_t, 100> toc{};  // file position of every percent of the length, in 256ths
  std::uint32_t scale = 0;
};

inline constexpr std::uint32_t kXingFrames = 1u << 0;
inline constexpr std::uint32_t kXingBytes = 1u << 1;
inline constexpr std::uint32_t kXingToc = 1u << 2;
inline constexpr std::uint32_t kXingScale = 1u << 3;

// Reads a Xing header from a frame's ancillary bits. False, with flags 0, when the bits do not
// start with "Xing" or "Info", or end before the fields that the flags announce.
bool xing_parse(XingHeader& xing, mad_bitptr bits, unsigned int bitLength);

// Confirms that the reader holds MPEG audio by decoding its first frames in 8192-byte windows,
// from `start` on. True with the header of the last frame decoded (the Xing
// frame, the second frame or the only one) and the Xing header, if any; false when the input
// ends or a read fails before a frame decodes, or libmad finds an unrecoverable fault.
bool scan_first_frames(const ByteReader& reader, std::uint64_t start, mad_header& header, XingHeader& xing);

}  // namespace tunekiln
