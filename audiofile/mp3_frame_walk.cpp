#include "audiofile/mp3_frame_walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "audiofile/mpeg_frame_header.h"
#include "audiofile/wave_header.h"

namespace tunekiln {
namespace {

// Frames are read through a window this large, so a ten-minute file costs a few hundred reads.
constexpr std::size_t kWindowBytes = 256 * 1024;
constexpr std::size_t kLargestFrame = 2881;  // MPEG 2.5 layer II at 160 kbit/s and 8 kHz, padded
// The longest free-format frame: MPEG 1 layer I at 640 kbit/s and 32 kHz is 960 bytes, layer III 2880.
constexpr std::size_t kLargestFreeFormatFrame = 2881;
// The shortest: a header, side information and a little more.
constexpr std::uint64_t kShortestFreeFormatFrame = 48;
// Free-format frames that must follow one another at one length before they count as audio.
constexpr int kFreeFormatChain = 4;
// How far past a lost sync the walk looks for the next frame before it calls the audio ended.
constexpr std::uint64_t kResyncLimit = 64 * 1024;

// A Xing or Info tag (behind the side information of layer III) or a VBRI tag (at a fixed place).
bool is_tag_frame(const MpegFrameHeader& header, const std::uint8_t* frame, std::size_t available) {
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
      auto got = reader_.readAt(offset, bytes_.data(), bytes_.size());
      // A failure somewhere in the window counts only where the bytes asked for lie.
      if (got.status == AudioFileResult::readFailed) got = reader_.readAt(offset, bytes_.data(), count);
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
                                    const std::optional<MpegFrameHeader>& stream) {
  for (std::uint64_t candidate = offset; candidate + 4 <= end && candidate < offset + kResyncLimit; ++candidate) {
    const std::uint8_t* p = window.at(candidate, 4);
    if (p == nullptr) return std::nullopt;
    const auto header = parse_mpeg_frame_header(p);
    if (!header || (stream && !header->sameStreamAs(*stream))) continue;
    const std::uint64_t next = candidate + header->bytes;
    if (next == end) return candidate;
    const std::uint8_t* q = next + 4 <= end ? window.at(next, 4) : nullptr;
    if (q == nullptr) continue;
    const auto following = parse_mpeg_frame_header(q);
    if (following && header->sameStreamAs(*following)) return candidate;
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

// A free-format frame at `candidate` that starts a chain of frames of one length, each ending
// where the next copy of its header stands (a slot later where the padding bit says so), up to
// kFreeFormatChain frames or the end of the audio. Quiet samples repeat such a header's four
// bytes now and then, but seldom at one spacing and never with the padding bit to match.
bool confirmed_free_format(Window& window, std::uint64_t candidate, std::uint64_t end) {
  const std::uint8_t* p = window.at(candidate, 4);
  if (p == nullptr || !is_free_format_header(p)) return false;
  std::uint8_t header[4];
  std::memcpy(header, p, sizeof header);
  const std::uint64_t slot = (header[1] >> 1 & 3) == 3 ? 4 : 1;  // layer I counts in 4-byte slots
  const auto padding = [slot](const std::uint8_t* at) { return (at[2] >> 1 & 1) * slot; };
  std::optional<std::uint64_t> length;
  for (int frame = 0; frame < kFreeFormatChain; ++frame) {
    const std::uint8_t* at = window.at(candidate, 4);
    if (at == nullptr) return false;
    const std::uint64_t padded = padding(at);
    const std::uint64_t last = std::min<std::uint64_t>(end, candidate + kLargestFreeFormatFrame + 4);
    std::uint64_t next = candidate + 1;
    for (; next + 4 <= last; ++next) {
      const std::uint8_t* q = window.at(next, 4);
      if (q == nullptr) return false;
      if (same_free_format_stream(header, q)) break;
    }
    if (next + 4 > last) return length && end - candidate == *length + padded;  // the last frame
    if (length && next - candidate != *length + padded) return false;
    if (next - candidate < kShortestFreeFormatFrame + padded) return false;
    length = next - candidate - padded;
    candidate = next;
  }
  return true;
}

}  // namespace

std::optional<std::uint64_t> find_mpeg_audio(const ByteReader& reader, std::uint64_t offset) {
  Window window(reader);
  const std::uint64_t end = audio_end(reader);
  if (confirmed_free_format(window, offset, end)) return offset;
  return resync(window, offset, end, std::nullopt);
}

Mp3FrameWalk walk_mp3_frames(const ByteReader& reader, bool keepOffsets, const std::atomic<bool>* stop) {
  Mp3FrameWalk walk;
  const std::uint64_t end = audio_end(reader);
  Window window(reader);
  std::optional<MpegFrameHeader> stream;
  std::optional<std::uint64_t> offset = resync(window, id3v2_tag_end(reader), end, stream);
  while (offset && *offset + 4 <= end && !(stop != nullptr && stop->load(std::memory_order_relaxed))) {
    const std::uint8_t* p = window.at(*offset, std::min<std::uint64_t>(kLargestFrame, end - *offset));
    if (p == nullptr) p = window.at(*offset, 4);
    const auto header = p != nullptr ? parse_mpeg_frame_header(p) : std::nullopt;
    if (!header || (stream && !header->sameStreamAs(*stream)) || *offset + header->bytes > end) {
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
