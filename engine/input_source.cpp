#include "engine/input_source.h"

#include <algorithm>
#include <limits>

#include "platform/input_file.h"

namespace tunekiln {
namespace {

// A file is 32-bit to its readers: a larger one is read from its start as far as that reaches.
constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();

class FileSource final : public InputSource {
 public:
  explicit FileSource(InputFile file) : file_(std::move(file)) {}

  bool read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
    got = 0;
    const std::uint64_t room = position_ < kLargestOffset ? kLargestOffset - position_ : 0;
    const auto read = file_.readAt(position_, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(count, room)));
    if (read < 0) return false;
    got = static_cast<std::uint32_t>(read);
    position_ += got;
    return true;
  }
  void seekTo(std::uint32_t offset) override { position_ = offset; }
  std::uint32_t tell() override { return static_cast<std::uint32_t>(position_); }
  std::uint32_t size() override { return static_cast<std::uint32_t>(std::min(file_.size(), kLargestOffset)); }
  bool canSeek() override { return true; }

 private:
  InputFile file_;
  std::uint64_t position_ = 0;
};

}  // namespace

std::unique_ptr<InputSource> input_open(const std::string& name) {
  auto file = InputFile::open(name);
  if (!file) return nullptr;
  return std::make_unique<FileSource>(std::move(*file));
}

}  // namespace tunekiln
