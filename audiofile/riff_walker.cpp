#include "audiofile/riff_walker.h"

#include <algorithm>

namespace tunekiln {
namespace {

constexpr std::uint32_t kDeferredSize = 0xFFFFFFFF;  // "see ds64" in RF64 and BW64
constexpr std::size_t kDs64FixedBytes = 28;           // RIFF size, data size, sample count, table length
constexpr std::size_t kDs64EntryBytes = 12;           // chunk id and its 64-bit size
constexpr std::uint32_t kDs64TableLimit = 64;         // far beyond what any writer puts there

}  // namespace

AudioFileResult RiffWalker::open(const ByteReader& reader, std::uint64_t start, std::optional<RiffWalker>& walker) {
  walker.reset();
  std::uint8_t header[12];
  const auto got = reader.readAt(start, header, sizeof header);
  if (got.status == AudioFileResult::readFailed) return AudioFileResult::readFailed;
  if (got.status != AudioFileResult::ok || !chunk_id_is(header + 8, "WAVE")) return AudioFileResult::notThisFormat;
  RiffForm form;
  if (chunk_id_is(header, "RIFF")) {
    form = RiffForm::riff;
  } else if (chunk_id_is(header, "RF64")) {
    form = RiffForm::rf64;
  } else if (chunk_id_is(header, "BW64")) {
    form = RiffForm::bw64;
  } else {
    return AudioFileResult::notThisFormat;
  }
  walker.emplace(RiffWalker(reader, form, start + sizeof header));
  if (form == RiffForm::riff) return AudioFileResult::ok;
  const auto result = walker->readDs64();
  if (result != AudioFileResult::ok) walker.reset();
  return result;
}

AudioFileResult RiffWalker::readDs64() {
  std::uint8_t fixed[8 + kDs64FixedBytes];
  const auto got = reader_.readAt(position_, fixed, sizeof fixed);
  if (got.status == AudioFileResult::readFailed) return AudioFileResult::readFailed;
  if (got.status != AudioFileResult::ok || !chunk_id_is(fixed, "ds64") || load_le32(fixed + 4) < kDs64FixedBytes) {
    return AudioFileResult::damaged;
  }
  sizes_.push_back({{'d', 'a', 't', 'a'}, load_le64(fixed + 8 + 8)});
  const std::uint32_t entries = std::min(load_le32(fixed + 8 + 24), kDs64TableLimit);
  const std::uint32_t room = (load_le32(fixed + 4) - kDs64FixedBytes) / kDs64EntryBytes;
  for (std::uint32_t i = 0; i < std::min(entries, room); ++i) {
    std::uint8_t entry[kDs64EntryBytes];
    const auto status = reader_.readAt(position_ + sizeof fixed + i * kDs64EntryBytes, entry, sizeof entry).status;
    if (status == AudioFileResult::readFailed) return status;
    if (status != AudioFileResult::ok) return AudioFileResult::damaged;
    sizes_.push_back({{static_cast<char>(entry[0]), static_cast<char>(entry[1]), static_cast<char>(entry[2]),
                       static_cast<char>(entry[3])},
                      load_le64(entry + 4)});
  }
  return AudioFileResult::ok;
}

AudioFileResult RiffWalker::next(RiffChunk& chunk) {
  std::uint8_t header[8];
  const auto got = reader_.readAt(position_, header, sizeof header);
  if (got.status != AudioFileResult::ok) return got.status;
  chunk.offset = position_;
  std::copy_n(header, 4, chunk.id.begin());
  chunk.size = load_le32(header + 4);
  if (form_ != RiffForm::riff && chunk.size == kDeferredSize) {
    const auto found = std::find_if(sizes_.begin(), sizes_.end(), [&](const auto& entry) { return entry.id == chunk.id; });
    if (found != sizes_.end()) chunk.size = found->size;
  }
  // A size that points past what a 64-bit offset can hold leaves nothing behind the chunk.
  position_ = chunk.size > UINT64_MAX / 2 ? UINT64_MAX : chunk.end();
  return AudioFileResult::ok;
}

}  // namespace tunekiln
