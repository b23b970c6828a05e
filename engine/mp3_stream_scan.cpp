#include "engine/mp3_stream_scan.h"

#include <cstring>

namespace tunekiln {
namespace {

constexpr std::uint32_t kScanBytes = 8192;
constexpr unsigned long kXingMagic = 0x58696e67;  // "Xing"
// The same header as a constant-bitrate encoder writes it.
constexpr unsigned long kInfoMagic = 0x496e666f;  // "Info"

}  // namespace

bool xing_parse(XingHeader& xing, mad_bitptr bits, unsigned int bitLength) {
  const auto fail = [&xing] {
    xing.flags = 0;
    return false;
  };
  if (bitLength < 64) return fail();
  const unsigned long magic = mad_bit_read(&bits, 32);
  if (magic != kXingMagic && magic != kInfoMagic) return fail();
  xing.info = magic == kInfoMagic;
  xing.flags = static_cast<std::uint32_t>(mad_bit_read(&bits, 32));
  bitLength -= 64;
  if (xing.flags & kXingFrames) {
    if (bitLength < 32) return fail();
    xing.frames = static_cast<std::uint32_t>(mad_bit_read(&bits, 32));
    bitLength -= 32;
  }
  if (xing.flags & kXingBytes) {
    if (bitLength < 32) return fail();
    xing.bytes = static_cast<std::uint32_t>(mad_bit_read(&bits, 32));
    bitLength -= 32;
  }
  if (xing.flags & kXingToc) {
    if (bitLength < 800) return fail();
    for (auto& entry : xing.toc) entry = static_cast<std::uint8_t>(mad_bit_read(&bits, 8));
    bitLength -= 800;
  }
  if (xing.flags & kXingScale) {
    if (bitLength < 32) return fail();
    xing.scale = static_cast<std::uint32_t>(mad_bit_read(&bits, 32));
  }
  return true;
}

bool scan_first_frames(const ByteReader& reader, std::uint64_t start, mad_header& header, XingHeader& xing) {
  unsigned char buffer[kScanBytes];
  mad_stream stream;
  mad_frame frame;
  mad_stream_init(&stream);
  mad_frame_init(&frame);
  xing.flags = 0;

  int good = 0;
  std::uint32_t have = 0;
  bool found = false;
  bool scanning = true;
  while (scanning) {
    // A window still full after moving its undecoded end to the front reads nothing: the scan
    // cannot get on.
    const auto got = reader.readAt(start, buffer + have, kScanBytes - have);
    if (got.status == AudioFileResult::readFailed || got.bytes == 0) break;
    start += got.bytes;
    have += static_cast<std::uint32_t>(got.bytes);
    mad_stream_buffer(&stream, buffer, have);
    for (;;) {
      if (mad_frame_decode(&frame, &stream) == 0) {
        ++good;
        header = frame.header;
        if (good == 2 || xing_parse(xing, stream.anc_ptr, stream.anc_bitlen)) {
          found = true;
          scanning = false;
          break;
        }
        continue;
      }
      if (MAD_RECOVERABLE(stream.error)) continue;
      if (good > 0) {
        found = true;
      } else if (stream.error == MAD_ERROR_BUFLEN) {
        have = static_cast<std::uint32_t>(buffer + have - stream.next_frame);
        std::memmove(buffer, stream.next_frame, have);
        break;  // read more behind what is kept
      }
      scanning = false;
      break;
    }
  }
  mad_frame_finish(&frame);
  mad_stream_finish(&stream);
  return found;
}

}  // namespace tunekiln
