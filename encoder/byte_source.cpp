#include "encoder/byte_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace tunekiln {
namespace {

// A header lies in the first bytes of a file; a chunk in front of it that reaches beyond this
// is skipped rather than kept in memory.
constexpr std::uint64_t kKeptLimit = 1 << 20;
constexpr std::size_t kDropBlock = 65536;

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

  std::optional<std::uint64_t> size() const override {
    struct stat status {};
    if (::fstat(::fileno(stream_), &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
  }

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

ReadOutcome InputBytes::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (offset > UINT64_MAX - count) return {0, AudioFileResult::endOfData};
  const std::uint64_t end = offset + count;
  if (end > kept_.size() && end <= kKeptLimit && moveSourceTo(kept_.size())) {
    const std::size_t had = kept_.size();
    kept_.resize(static_cast<std::size_t>(end));
    const auto more = readSource(kept_.data() + had, kept_.size() - had);
    kept_.resize(had + more.bytes);
    if (more.status == AudioFileResult::readFailed) return {0, more.status};
  }
  if (end <= kKeptLimit) {
    const std::size_t bytes = offset < kept_.size() ? std::min<std::size_t>(count, kept_.size() - offset) : 0;
    if (bytes > 0) std::memcpy(buffer, kept_.data() + offset, bytes);
    return {bytes, bytes == count ? AudioFileResult::ok : AudioFileResult::endOfData};
  }
  if (!moveSourceTo(offset)) return {0, source_->failed() ? AudioFileResult::readFailed : AudioFileResult::endOfData};
  return readSource(buffer, count);
}

ReadOutcome InputBytes::read(void* buffer, std::size_t count) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  if (position_ < kept_.size()) {
    done = std::min<std::size_t>(count, kept_.size() - position_);
    std::memcpy(bytes, kept_.data() + position_, done);
    position_ += done;
  }
  // Only a pipe whose header walk went past kept bytes cannot get back to them: those bytes
  // are lost, which is a failure to read, not an end.
  if (done < count && !moveSourceTo(position_)) return {done, AudioFileResult::readFailed};
  const auto rest = done < count ? readSource(bytes + done, count - done) : ReadOutcome{};
  position_ += rest.bytes;
  return {done + rest.bytes, rest.status};
}

bool InputBytes::moveSourceTo(std::uint64_t offset) const {
  if (offset == sourcePosition_) return true;
  if (offset <= INT64_MAX && source_->seek(static_cast<std::int64_t>(offset), SeekOrigin::begin)) {
    sourcePosition_ = offset;
    return true;
  }
  if (offset < sourcePosition_) return false;
  std::vector<std::uint8_t> dropped(kDropBlock);
  while (sourcePosition_ < offset) {
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(kDropBlock, offset - sourcePosition_));
    if (readSource(dropped.data(), step).status != AudioFileResult::ok) return false;
  }
  return true;
}

ReadOutcome InputBytes::readSource(void* buffer, std::size_t count) const {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t got = source_->read(bytes + done, count - done);
    if (got == 0) break;
    done += got;
  }
  sourcePosition_ += done;
  if (source_->failed()) return {done, AudioFileResult::readFailed};
  return {done, done == count ? AudioFileResult::ok : AudioFileResult::endOfData};
}

}  // namespace tunekiln
