#include "engine/input_source.h"

#include <algorithm>
#include <limits>

#include "audiofile/wave_header.h"

namespace tunekiln {
namespace {

// An input is 32-bit to its readers: a larger one is read from its start as far as that reaches.
constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint16_t kTagMpegLayer3 = 0x0055;

class ReaderSource final : public InputSource {
 public:
  explicit ReaderSource(std::shared_ptr<const ByteReader> reader) : reader_(std::move(reader)) {}

  bool read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
    const std::uint64_t room = position_ < kLargestOffset ? kLargestOffset - position_ : 0;
    const auto outcome =
        reader_->readAt(position_, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(count, room)));
    got = static_cast<std::uint32_t>(outcome.bytes);
    position_ += got;
    return outcome.status != AudioFileResult::readFailed;
  }
  void seekTo(std::uint32_t offset) override { position_ = offset; }
  std::uint32_t tell() override { return static_cast<std::uint32_t>(position_); }
  std::uint32_t size() override { return static_cast<std::uint32_t>(std::min(reader_->size(), kLargestOffset)); }
  bool canSeek() override { return true; }

 private:
  std::shared_ptr<const ByteReader> reader_;
  std::uint64_t position_ = 0;
};

// The bytes [begin, end) of another reader, or as far as it reaches.
class ByteRange final : public ByteReader {
 public:
  ByteRange(std::shared_ptr<const ByteReader> whole, std::uint64_t begin, std::uint64_t end)
      : whole_(std::move(whole)), begin_(begin), end_(end) {}

  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override {
    const std::uint64_t left = offset < end_ - begin_ ? end_ - begin_ - offset : 0;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    ReadOutcome outcome = whole_->readAt(begin_ + offset, buffer, wanted);
    if (outcome.status == AudioFileResult::ok && wanted < count) outcome.status = AudioFileResult::endOfData;
    return outcome;
  }
  std::uint64_t size() const override {
    const std::uint64_t wholeSize = whole_->size();
    return wholeSize > begin_ ? std::min(wholeSize, end_) - begin_ : 0;
  }

 private:
  std::shared_ptr<const ByteReader> whole_;
  std::uint64_t begin_;
  std::uint64_t end_;
};

// The data chunk of a WAVE file, to its declared end or, as the WAVE reader takes it, to the end
// of the input when the size is 0 or reaches past it.
std::shared_ptr<const ByteReader> data_chunk(std::shared_ptr<const ByteReader> file, std::uint64_t start) {
  std::optional<RiffWalker> walker;
  if (RiffWalker::open(*file, start, walker) != AudioFileResult::ok) return nullptr;
  RiffChunk chunk;
  while (walker->next(chunk) == AudioFileResult::ok) {
    if (!chunk.is("data")) continue;
    const bool toTheEnd = chunk.size == 0 || chunk.size > file->size();
    const std::uint64_t end = toTheEnd ? file->size() : chunk.bodyOffset() + chunk.size;
    return std::make_shared<ByteRange>(std::move(file), chunk.bodyOffset(), end);
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<InputSource> input_over(std::shared_ptr<const ByteReader> reader) {
  return std::make_unique<ReaderSource>(std::move(reader));
}

std::shared_ptr<const ByteReader> mpeg_audio_bytes(std::shared_ptr<const ByteReader> file) {
  const std::uint64_t start = id3v2_tag_end(*file);
  const WaveParse wave = read_wave_header(*file, start);
  if (wave.result == AudioFileResult::unsupportedEncoding && wave.fields.formatTag == kTagMpegLayer3) {
    return data_chunk(std::move(file), start);
  }
  if (wave.result != AudioFileResult::notThisFormat) return nullptr;
  std::uint8_t head[12];
  const bool aiff = file->readExactly(start, head, sizeof head) && chunk_id_is(head, "FORM") &&
                    (chunk_id_is(head + 8, "AIFF") || chunk_id_is(head + 8, "AIFC"));
  return aiff ? nullptr : file;
}

}  // namespace tunekiln
