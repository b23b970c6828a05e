#include "engine/input_source.h"

#include <algorithm>
#include <limits>

namespace tunekiln {
namespace {

// An input is 32-bit to its readers: a larger one is read from its start as far as that reaches.
constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();

class ReaderSource final : public InputSource {
 public:
  explicit ReaderSource(std::unique_ptr<ByteReader> reader) : reader_(std::move(reader)) {}

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
  std::unique_ptr<ByteReader> reader_;
  std::uint64_t position_ = 0;
};

}  // namespace

std::unique_ptr<InputSource> input_over(std::unique_ptr<ByteReader> reader) {
  return std::make_unique<ReaderSource>(std::move(reader));
}

std::unique_ptr<InputSource> input_open(const std::string& name) {
  auto reader = open_file_reader(name);
  if (!reader) return nullptr;
  return input_over(std::move(reader));
}

}  // namespace tunekiln
