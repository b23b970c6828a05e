#include "audiofile/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace tunekiln {

ReadOutcome FileByteReader::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  const auto got = file_.readAt(offset, buffer, count);
  if (got < 0) return {0, AudioFileResult::readFailed};
  const auto bytes = static_cast<std::size_t>(got);
  return {bytes, bytes == count ? AudioFileResult::ok : AudioFileResult::endOfData};
}

ReadOutcome MemoryByteReader::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (offset >= bytes_.size()) return {0, count == 0 ? AudioFileResult::ok : AudioFileResult::endOfData};
  const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
  if (bytes > 0) std::memcpy(buffer, bytes_.data() + offset, bytes);
  return {bytes, bytes == count ? AudioFileResult::ok : AudioFileResult::endOfData};
}

}  // namespace tunekiln
