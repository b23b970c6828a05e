#include "encoder/byte_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace tunekiln {
namespace {

class FileByteSource final : public ByteSource {
 public:
  explicit FileByteSource(std::FILE* stream) : stream_(stream) {}
  ~FileByteSource() override { close(); }

  std::size_t read(void* buffer, std::size_t count) override { return std::fread(buffer, 1, count, stream_); }

  bool seek(std::int64_t offset, SeekOrigin origin) override {
    const int whence = origin == SeekOrigin::begin ? SEEK_SET : origin == SeekOrigin::current ? SEEK_CUR : SEEK_END;
    return ::fseeko(stream_, static_cast<off_t>(offset), whence) == 0;
  }

  bool failed() const override { return std::ferror(stream_) != 0; }

  bool close() override {
    if (stream_ == nullptr) return true;
    return std::fclose(std::exchange(stream_, nullptr)) == 0;
  }

 private:
  std::FILE* stream_;
};

}  // namespace

std::unique_ptr<ByteSource> open_file_source(const std::string& path) {
  std::FILE* stream = std::fopen(path.c_str(), "rbe");
  if (stream == nullptr) return nullptr;
  auto source = std::make_unique<FileByteSource>(stream);
  struct stat status {};
  if (::fstat(::fileno(stream), &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
  return source;
}

std::size_t MemoryByteSource::read(void* buffer, std::size_t count) {
  const auto at = static_cast<std::uint64_t>(position_);
  if (at >= bytes_.size()) return 0;
  const auto available = static_cast<std::size_t>(bytes_.size() - at);
  const std::size_t taken = std::min(count, available);
  std::memcpy(buffer, bytes_.data() + at, taken);
  position_ += static_cast<std::int64_t>(taken);
  return taken;
}

bool MemoryByteSource::seek(std::int64_t offset, SeekOrigin origin) {
  const std::int64_t base = origin == SeekOrigin::begin     ? 0
                            : origin == SeekOrigin::current ? position_
                                                            : static_cast<std::int64_t>(bytes_.size());
  std::int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return false;
  position_ = target;
  return true;
}

}  // namespace tunekiln
