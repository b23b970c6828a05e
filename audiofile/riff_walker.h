#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// The three forms of a WAVE file: the classic one with 32-bit sizes, and the two with 64-bit
// sizes in a `ds64` chunk (EBU Tech 3306 and ITU-R BS.2088).
enum class RiffForm { riff, rf64, bw64 };

struct RiffChunk {
  std::array<char, 4> id{};
  std::uint64_t offset = 0;  // of the chunk's eight-byte header
  std::uint64_t size = 0;    // of the body, from `ds64` where the 32-bit field defers to it
  std::uint64_t bodyOffset() const { return offset + 8; }
  // Where the next chunk starts: behind the body and its pad byte.
  std::uint64_t end() const { return bodyOffset() + size + (size & 1u); }
  bool is(const char (&name)[5]) const { return id == std::array<char, 4>{name[0], name[1], name[2], name[3]}; }
};

// Walks the chunks of a RIFF/RF64/BW64 WAVE file one by one. Every chunk is reported, `ds64`
// included, and skipped by its size, so no chunk's contents are ever taken for a header.
class RiffWalker {
 public:
  // Reads the twelve-byte file header at `start` and, for RF64 and BW64, the `ds64` chunk.
  // notThisFormat when the input is no WAVE file; damaged for an RF64 file without `ds64`.
  static AudioFileResult open(const ByteReader& reader, std::uint64_t start, std::optional<RiffWalker>& walker);

  RiffForm form() const { return form_; }
  // The next chunk. endOfData when no whole chunk header is left before the end of the input.
  AudioFileResult next(RiffChunk& chunk);

 private:
  RiffWalker(const ByteReader& reader, RiffForm form, std::uint64_t position)
      : reader_(reader), form_(form), position_(position) {}
  AudioFileResult readDs64();

  struct SizeOverride {
    std::array<char, 4> id;
    std::uint64_t size;
  };
  const ByteReader& reader_;
  RiffForm form_;
  std::uint64_t position_;
  std::vector<SizeOverride> sizes_;  // from `ds64`: "data" first, then its table
};

// The identifier of a chunk as a string, for messages and comparisons.
inline bool chunk_id_is(const std::uint8_t* bytes, const char (&name)[5]) {
  return bytes[0] == name[0] && bytes[1] == name[1] && bytes[2] == name[2] && bytes[3] == name[3];
}

}  // namespace tunekiln
