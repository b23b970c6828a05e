#include "audiofile/mpeg_frame_header.h"

namespace tunekiln {

std::optional<MpegFrameHeader> parse_mpeg_frame_header(const std::uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return std::nullopt;
  const int version = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  // Version 1 is reserved, layer 0 reserved; a free-format (0) or bad (15) bitrate has no length.
  if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
  const int layer = 4 - layerBits;
  static constexpr std::uint16_t kBitrates[2][3][15] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  static constexpr std::uint32_t kRates[3] = {44100, 48000, 32000};
  const bool mpeg1 = version == 3;
  const std::uint32_t kbps = kBitrates[mpeg1 ? 0 : 1][layer - 1][bitrateIndex];
  const std::uint32_t rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  const std::uint32_t padding = (p[2] >> 1) & 1;
  MpegFrameHeader header{.sampleRate = rate, .samples = 0, .bytes = 0, .version = version, .layer = layer,
                     .mono = (p[3] >> 6) == 3};
  if (layer == 1) {
    header.samples = 384;
    header.bytes = (12 * kbps * 1000 / rate + padding) * 4;
  } else {
    header.samples = layer == 3 && !mpeg1 ? 576 : 1152;
    header.bytes = header.samples / 8 * kbps * 1000 / rate + padding;
  }
  return header;
}

bool is_free_format_header(const std::uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int version = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  return version != 1 && layerBits != 0 && (p[2] >> 4) == 0 && ((p[2] >> 2) & 3) != 3;
}

bool same_free_format_stream(const std::uint8_t* header, const std::uint8_t* other) {
  return header[0] == other[0] && header[1] == other[1] && (header[2] & 0xFD) == (other[2] & 0xFD) &&
         (header[3] & 0xC0) == (other[3] & 0xC0);
}

}  // namespace tunekiln
