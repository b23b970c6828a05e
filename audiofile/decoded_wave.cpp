#include "audiofile/decoded_wave.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tunekiln {
namespace {

constexpr std::size_t kBlockFrames = 8192;
// A read this far ahead of the source is reached by decoding on, not by a seek.
constexpr std::uint64_t kDecodeAheadFrames = 4 * kBlockFrames;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;
constexpr std::size_t kLongestTag = 4095;  // what the tag reader takes, its ending NUL included

class HeaderBytes {
 public:
  void id(const char (&text)[5]) { bytes_.insert(bytes_.end(), text, text + 4); }
  void le16(std::uint32_t value) { little(value, 2); }
  void le32(std::uint64_t value) { little(value, 4); }
  void le64(std::uint64_t value) { little(value, 8); }
  void text(const std::string& value) {
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    bytes_.push_back(0);
    if (bytes_.size() % 2 != 0) bytes_.push_back(0);
  }
  void append(const std::vector<std::uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  std::size_t size() const { return bytes_.size(); }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  void little(std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  std::vector<std::uint8_t> bytes_;
};

void add_info_list(HeaderBytes& out, const InfoTags& tags) {
  const std::pair<const char(&)[5], const std::string&> fields[] = {{"INAM", tags.title}, {"IART", tags.artist},
                                                                    {"IPRD", tags.album}, {"ICRD", tags.year},
                                                                    {"ITRK", tags.track}, {"ICMT", tags.comment}};
  HeaderBytes list;
  for (const auto& [id, value] : fields) {
    if (value.empty() || value.size() > kLongestTag - 1) continue;
    list.id(id);
    list.le32(value.size() + 1);
    list.text(value);
  }
  if (list.size() == 0) return;
  out.id("LIST");
  out.le32(list.size() + 4);
  out.id("INFO");
  out.append(list.take());
}

std::vector<std::uint8_t> wave_header(const PcmFormat& format, std::uint64_t dataBytes, const InfoTags& tags) {
  HeaderBytes info;
  add_info_list(info, tags);
  const std::vector<std::uint8_t> infoBytes = info.take();
  constexpr std::size_t kDs64Bytes = 8 + 28;
  const std::uint64_t riffSize = 4 + kDs64Bytes + (8 + 16) + infoBytes.size() + 8 + dataBytes + (dataBytes & 1);
  const bool large = riffSize > 0xFFFFFFF0u;
  HeaderBytes out;
  out.id(large ? "RF64" : "RIFF");
  out.le32(large ? kSizeInDs64 : riffSize - kDs64Bytes);
  out.id("WAVE");
  if (large) {
    out.id("ds64");
    out.le32(28);
    out.le64(riffSize);
    out.le64(dataBytes);
    out.le64(dataBytes / format.bytesPerFrame());
    out.le32(0);
  }
  out.id("fmt ");
  out.le32(16);
  out.le16(format.isFloat() ? kFormatFloat : kFormatPcm);
  out.le16(format.channels());
  out.le32(format.sampleRate());
  out.le32(format.bytesPerSecond());
  out.le16(format.bytesPerFrame());
  out.le16(format.bitsPerSample());
  out.append(infoBytes);
  out.id("data");
  out.le32(large ? kSizeInDs64 : dataBytes);
  return out.take();
}

// Why samples the file states are missing: a failed read, or else a stream damaged or cut short.
AudioFileResult shortfall(AudioFileResult status) {
  return status == AudioFileResult::readFailed ? status : AudioFileResult::damaged;
}

}  // namespace

DecodedWave::DecodedWave(std::unique_ptr<PcmSource> source)
    : source_(std::move(source)),
      dataBytes_(source_->frames() * source_->format().bytesPerFrame()),
      block_(kBlockFrames * source_->format().bytesPerFrame()) {
  header_ = wave_header(source_->format(), dataBytes_, source_->tags());
}

ReadOutcome DecodedWave::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  if (offset < header_.size()) {
    done = static_cast<std::size_t>(std::min<std::uint64_t>(count, header_.size() - offset));
    std::memcpy(out, header_.data() + offset, done);
  }
  const std::uint64_t bytesPerFrame = source_->format().bytesPerFrame();
  const std::lock_guard lock(mutex_);
  while (done < count && offset + done < size()) {
    const std::uint64_t at = offset + done - header_.size();
    const std::uint64_t frame = at / bytesPerFrame;
    const std::uint64_t wholeFrames = std::min<std::uint64_t>(count - done, size() - offset - done) / bytesPerFrame;
    // Whole frames read on in order go straight to the reader, without the copy through the block.
    if (at % bytesPerFrame == 0 && frame == sourceFrame_ && wholeFrames > 0) {
      const FramesRead got = source_->read(out + done, static_cast<std::size_t>(wholeFrames));
      sourceFrame_ += got.frames;
      done += got.frames * bytesPerFrame;
      blockFrames_ = 0;
      if (got.frames < wholeFrames) return {done, shortfall(got.status)};
      continue;
    }
    if (frame < blockFrame_ || frame >= blockFrame_ + blockFrames_) {
      const AudioFileResult status = fill(frame);
      if (status != AudioFileResult::ok) return {done, shortfall(status)};
    }
    const std::uint64_t inBlock = at - blockFrame_ * bytesPerFrame;
    const std::size_t step = static_cast<std::size_t>(
        std::min<std::uint64_t>({count - done, blockFrames_ * bytesPerFrame - inBlock, size() - offset - done}));
    std::memcpy(out + done, block_.data() + inBlock, step);
    done += step;
  }
  if (offset + done == size() && done > 0 && !source_->whole()) return {done, AudioFileResult::damaged};
  return {done, done == count ? AudioFileResult::ok : AudioFileResult::endOfData};
}

AudioFileResult DecodedWave::fill(std::uint64_t frame) const {
  blockFrames_ = 0;
  const bool decodeOn = frame >= sourceFrame_ && frame - sourceFrame_ <= kDecodeAheadFrames;
  if (!decodeOn) {
    if (!source_->seek(frame)) return AudioFileResult::damaged;
    sourceFrame_ = frame;
  }
  for (;;) {
    const FramesRead got = source_->read(block_.data(), kBlockFrames);
    blockFrame_ = sourceFrame_;
    blockFrames_ = got.frames;
    sourceFrame_ += got.frames;
    if (got.frames == 0) return got.status == AudioFileResult::ok ? AudioFileResult::endOfData : got.status;
    if (frame < sourceFrame_) return AudioFileResult::ok;
  }
}

}  // namespace tunekiln
