#include "engine/mp3_frame_walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "audiofile/wave_header.h"

namespace tunekiln {
namespace {

// Frames are read through a window this large, so a ten-minute file costs a few hundred reads.
constexpr std::size_t kWindowBytes = 256 * 1024;
constexpr std::size_t kLargestFrame = 2881;  // MPEG 2.5 layer II at 160 kbit/s and 8 kHz, padded
// How far past a lost sync the walk looks for the next frame before it calls the audio ended.
constexpr std::uint64_t kResyncLimit = 64 * 1024;

struct FrameHeader {
  std::uint32_t sampleRate;
  std::uint32_t samples;  // per channel
  std::uint32_t bytes;
  int version;            // 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5
  int layer;              // 1, 2 or 3
  bool mono;
};

std::optional<FrameHeader> parse_header(const std::uint8_t* p) {
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
  FrameHeader header{.sampleRate = rate, .samples = 0, .bytes = 0, .version = version, .layer = layer,
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

// Two headers of one stream agree on everything but bitrate and padding.
bool same_stream(const FrameHeader& a, const FrameHeader& b) {
  return a.sampleRate == b.sampleRate && a.layer == b.layer && a.version == b.version;
}

// A Xing or Info tag (behind the side information of layer III) or a VBRI tag (at a fixed place).
bool is_tag_frame(const FrameHeader& header, const std::uint8_t* frame, std::size_t available) {
  const std::size_t sideInfo = header.version == 3 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17);
  const std::size_t at = 4 + sideInfo;
  if (header.layer == 3 && available >= at + 4 &&
      (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0)) {
    return true;
  }
  return available >= 40 && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

// A window onto the file that slides forward as the walk goes.
class Window {
 public:
  explicit Window(const ByteReader& reader) : reader_(reader), bytes_(kWindowBytes) {}

  // Makes [offset, offset + count) available; the bytes there, or nothing at the end or a failure.
  const std::uint8_t* at(std::uint64_t offset, std::size_t count) {
    if (offset < start_ || offset + count > start_ + fill_) {
      const auto got = reader_.readAt(offset, bytes_.data(), bytes_.size());
      if (got.status == AudioFileResult::readFailed) failed_ = true;
      start_ = offset;
      fill_ = got.bytes;
      if (count > fill_) return nullptr;
    }
    return bytes_.data() + (offset - start_);
  }
  std::size_t availableFrom(std::uint64_t offset) const { return static_cast<std::size_t>(start_ + fill_ - offset); }
  bool failed() const { return failed_; }

 private:
  const ByteReader& reader_;
  std::vector<std::uint8_t> bytes_;
  std::uint64_t start_ = 0;
  std::size_t fill_ = 0;
  bool failed_ = false;
};

// The next frame at or behind `offset` whose successor (or the end) confirms it.
std::optional<std::uint64_t> resync(Window& window, std::uint64_t offset, std::uint64_t end,
                                    const std::optional<FrameHeader>& stream) {
  for (std::uint64_t candidate = offset; candidate + 4 <= end && candidate < offset + kResyncLimit; ++candidate) {
    const std::uint8_t* p = window.at(candidate, 4);
    if (p == nullptr) return std::nullopt;
    const auto header = parse_header(p);
    if (!header || (stream && !same_stream(*header, *stream))) continue;
    const std::uint64_t next = candidate + header->bytes;
    if (next == end) return candidate;
    const std::uint8_t* q = next + 4 <= end ? window.at(next, 4) : nullptr;
    if (q == nullptr) continue;
    const auto following = parse_header(q);
    if (following && same_stream(*header, *following)) return candidate;
  }
  return std::nullopt;
}

// Where the audio ends: before an ID3v1 tag ("TAG" 128 bytes from the end), else at the file's end.
std::uint64_t audio_end(const ByteReader& reader) {
  const std::uint64_t size = reader.size();
  std::uint8_t tag[3];
  if (size >= 128 && reader.readExactly(size - 128, tag, 3) && std::memcmp(tag, "TAG", 3) == 0) return size - 128;
  return size;
}

}  // namespace

Mp3FrameWalk walk_mp3_frames(const ByteReader& reader, bool keepOffsets, const std::atomic<bool>* stop) {
  Mp3FrameWalk walk;
  const std::uint64_t end = audio_end(reader);
  Window window(reader);
  std::optional<FrameHeader> stream;
  std::optional<std::uint64_t> offset = resync(window, id3v2_tag_end(reader), end, stream);
  while (offset && *offset + 4 <= end && !(stop != nullptr && stop->load(std::memory_order_relaxed))) {
    const std::uint8_t* p = window.at(*offset, std::min<std::uint64_t>(kLargestFrame, end - *offset));
    if (p == nullptr) p = window.at(*offset, 4);
    const auto header = p != nullptr ? parse_header(p) : std::nullopt;
    if (!header || (stream && !same_stream(*header, *stream)) || *offset + header->bytes > end) {
      if (window.failed()) break;
      // Lost sync: junk, an APE tag or a damaged frame; the walk goes on only at a confirmed frame.
      offset = resync(window, *offset + 1, end, stream);
      continue;
    }
    const bool isTagFrame = !stream && is_tag_frame(*header, p, window.availableFrom(*offset));
    if (!stream) {
      stream = header;
      walk.sampleRate = header->sampleRate;
      walk.tagFrame = isTagFrame;
    }
    if (!isTagFrame) {
      ++walk.frames;
      walk.samplesPerChannel += header->samples;
      walk.audioBytes += header->bytes;
      if (keepOffsets) walk.frameOffsets.push_back(*offset);
    }
    *offset += header->bytes;
  }
  if (window.failed()) {
    walk.result = AudioFileResult::readFailed;
  } else {
    walk.result = walk.frames > 0 ? AudioFileResult::ok : AudioFileResult::notThisFormat;
  }
  return walk;
}

}  // namespace tunekiln
