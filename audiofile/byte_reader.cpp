#include "audiofile/byte_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tunekiln {
namespace {

// A file reader that keeps its file open for as long as it lives.
class OwnedFileReader final : public ByteReader {
 public:
  explicit OwnedFileReader(InputFile file) : file_(std::move(file)), reader_(file_) {}

  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override {
    return reader_.readAt(offset, buffer, count);
  }
  std::uint64_t size() const override { return reader_.size(); }

 private:
  InputFile file_;
  FileByteReader reader_;
};

}  // namespace

ReadOutcome FileByteReader::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  const auto got = file_.readAt(offset, buffer, count);
  if (got < 0) return {0, AudioFileResult::readFailed};
  const auto bytes = static_cast<std::size_t>(got);
  return {bytes, bytes == count ? AudioFileResult::ok : AudioFileResult::endOfData};
}

std::unique_ptr<ByteReader> open_file_reader(const std::string& path) {
  auto file = InputFile::open(path);
  if (!file) return nullptr;
  return std::make_unique<OwnedFileReader>(std::move(*file));
}

ReadOutcome MemoryByteReader::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (offset >= bytes_.size()) return {0, count == 0 ? AudioFileResult::ok : AudioFileResult::endOfData};
  const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
  if (bytes > 0) std::memcpy(buffer, bytes_.data() + offset, bytes);
  return {bytes, bytes == count ? AudioFileResult::ok : AudioFileResult::endOfData};
}

ReadOutcome ByteRange::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  const std::uint64_t left = offset < end_ - begin_ ? end_ - begin_ - offset : 0;
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
  ReadOutcome outcome = whole_->readAt(begin_ + offset, buffer, wanted);
  if (outcome.status == AudioFileResult::ok && wanted < count) outcome.status = AudioFileResult::endOfData;
  return outcome;
}

std::uint64_t ByteRange::size() const {
  const std::uint64_t wholeSize = whole_->size();
  return wholeSize > begin_ ? std::min(wholeSize, end_) - begin_ : 0;
}

}  // namespace tunekiln
