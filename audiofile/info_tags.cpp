#include "audiofile/info_tags.h"

#include <optional>
#include <vector>

#include "audiofile/riff_walker.h"

namespace tunekiln {
namespace {

constexpr std::uint32_t kLongestText = 4096;  // beyond any tag a person types

// Bytes that are not UTF-8 are taken as Latin-1, the text of older writers.
std::string as_utf8(const std::vector<std::uint8_t>& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t lead = bytes[i];
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) break;
    std::size_t k = 1;
    while (k < length && (bytes[i + k] & 0xC0) == 0x80) ++k;
    if (k < length) break;
    i += length;
  }
  if (i == bytes.size()) return {bytes.begin(), bytes.end()};
  std::string text;
  for (const std::uint8_t byte : bytes) {
    if (byte < 0x80) {
      text.push_back(static_cast<char>(byte));
    } else {
      text.push_back(static_cast<char>(0xC0 | byte >> 6));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

std::string* field_for(InfoTags& tags, const std::uint8_t* id) {
  if (chunk_id_is(id, "INAM")) return &tags.title;
  if (chunk_id_is(id, "IART")) return &tags.artist;
  if (chunk_id_is(id, "IPRD")) return &tags.album;
  if (chunk_id_is(id, "ICRD")) return &tags.year;
  if (chunk_id_is(id, "ITRK")) return &tags.track;
  if (chunk_id_is(id, "ICMT")) return &tags.comment;
  return nullptr;
}

void read_info_list(const ByteReader& reader, const RiffChunk& list, InfoTags& tags, std::string& part) {
  std::uint8_t kind[4];
  if (list.size < 4 || !reader.readExactly(list.bodyOffset(), kind, 4) || !chunk_id_is(kind, "INFO")) return;
  const std::uint64_t end = list.bodyOffset() + list.size;
  for (std::uint64_t offset = list.bodyOffset() + 4; offset + 8 <= end;) {
    std::uint8_t header[8];
    if (!reader.readExactly(offset, header, sizeof header)) return;
    const std::uint32_t size = load_le32(header + 4);
    if (size > end - offset - 8) return;  // cut short
    std::string* field = chunk_id_is(header, "IPRT") ? &part : field_for(tags, header);
    if (field != nullptr && size <= kLongestText) {
      std::vector<std::uint8_t> text(size);
      if (!reader.readExactly(offset + 8, text.data(), size)) return;
      while (!text.empty() && text.back() == 0) text.pop_back();  // the terminating zero and any padding
      *field = as_utf8(text);
    }
    offset += 8 + std::uint64_t{size} + (size & 1u);
  }
}

}  // namespace

InfoTags read_info_tags(const ByteReader& reader) {
  InfoTags tags;
  std::string part;
  std::optional<RiffWalker> walker;
  if (RiffWalker::open(reader, 0, walker) != AudioFileResult::ok) return tags;
  RiffChunk chunk;
  while (walker->next(chunk) == AudioFileResult::ok) {
    if (chunk.is("LIST")) read_info_list(reader, chunk, tags, part);
  }
  if (tags.track.empty()) tags.track = part;
  return tags;
}

}  // namespace tunekiln
