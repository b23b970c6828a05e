#include "engine/wav_decoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tunekiln {
namespace {

constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kFormatBytes = 16;  // the PCM format fields, without an extension
constexpr std::uint16_t kPcmTag = 1;

std::uint16_t le16(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8); }

std::uint32_t le32(const std::uint8_t* bytes) {
  return le16(bytes) | static_cast<std::uint32_t>(le16(bytes + 2)) << 16;
}

std::uint64_t id3_tag_end(const std::uint8_t* head) {
  if (std::memcmp(head, "ID3", 3) != 0) return 0;
  return ((((static_cast<std::uint64_t>(head[6]) << 7) | head[7]) << 7 | head[8]) << 7 | head[9]) + 10;
}

}  // namespace

bool WavDecoder::open(const std::string& name) {
  close();
  file_ = InputFile::open(name);
  if (!file_) return false;
  if (!parse()) {
    close();
    return false;
  }
  return true;
}

bool WavDecoder::findChunk(const char (&id)[5], std::uint64_t& offset, std::uint32_t& size) const {
  for (;;) {
    std::uint8_t header[kChunkHeaderBytes];
    if (file_->readAt(offset, header, sizeof header) != static_cast<std::ptrdiff_t>(sizeof header)) return false;
    offset += sizeof header;
    size = le32(header + 4);
    if (std::memcmp(header, id, 4) == 0) return true;
    offset += size + (size & 1u);  // a chunk of odd size is followed by a pad byte
  }
}

bool WavDecoder::parse() {
  std::uint8_t head[12] = {};  // a shorter file leaves zeros, which are no tag
  file_->readAt(0, head, 10);
  std::uint64_t offset = id3_tag_end(head);

  if (file_->readAt(offset, head, sizeof head) != static_cast<std::ptrdiff_t>(sizeof head) ||
      std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
    return false;
  }
  offset += sizeof head;

  std::uint32_t formatSize = 0;
  if (!findChunk("fmt ", offset, formatSize) || formatSize < kFormatBytes) return false;
  std::uint8_t format[kFormatBytes];
  const std::uint64_t fileSize = file_->size();
  if (file_->readAt(offset, format, sizeof format) != static_cast<std::ptrdiff_t>(sizeof format) ||
      offset + formatSize > fileSize || le16(format) != kPcmTag) {
    return false;
  }
  const std::uint16_t channels = le16(format + 2);
  const std::uint32_t sampleRate = le32(format + 4);
  const std::uint16_t bits = le16(format + 14);
  // Only what the outputs can take; anything else would be heard as noise.
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return false;
  bytesPerSecond_ = std::uint64_t{channels} * (bits / 8u) * sampleRate;
  if (bytesPerSecond_ == 0 || bytesPerSecond_ > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  offset += formatSize + (formatSize & 1u);

  std::uint32_t dataSize = 0;
  if (!findChunk("data", offset, dataSize)) return false;
  dataOffset_ = offset;
  // A size of 0 (a file still being written) or one reaching past the end means "up to the end".
  dataEnd_ = (dataSize == 0 || offset + dataSize > fileSize) ? fileSize : offset + dataSize;

  info_ = {.lengthSeconds = static_cast<std::int32_t>((dataEnd_ - dataOffset_) / bytesPerSecond_),
           .bitrateKbps = 0,
           .sampleRate = static_cast<std::int32_t>(sampleRate),
           .stereo = channels == 2 ? 1 : 0,
           .sixteenBit = bits == 16 ? 1 : 0};
  readPosition_ = dataOffset_;
  positionSeconds_ = 0;
  positionRemainder_ = 0;
  return true;
}

void WavDecoder::seek(std::uint32_t numerator, std::uint32_t denominator) {
  const auto fraction = seek_fraction(numerator, denominator);
  if (!fraction) return;
  // Whole multiples of 4 bytes, so that a frame is never split.
  const auto offset = static_cast<std::uint64_t>(*fraction * static_cast<double>(dataEnd_ - dataOffset_)) & ~std::uint64_t{3};
  positionSeconds_ = offset / bytesPerSecond_;
  positionRemainder_ = offset % bytesPerSecond_;
  readPosition_ = dataOffset_ + offset;
}

bool WavDecoder::read(std::uint8_t* buffer, std::size_t& size) {
  const std::uint64_t left = readPosition_ < dataEnd_ ? dataEnd_ - readPosition_ : 0;
  const auto got = file_->readAt(readPosition_, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, left)));
  size = got > 0 ? static_cast<std::size_t>(got) : 0;
  if (size == 0) return false;
  readPosition_ += size;
  positionRemainder_ += size;
  positionSeconds_ += positionRemainder_ / bytesPerSecond_;
  positionRemainder_ %= bytesPerSecond_;
  return true;
}

}  // namespace tunekiln
