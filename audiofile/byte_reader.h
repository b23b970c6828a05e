#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "audiofile/audio_file_result.h"
#include "platform/input_file.h"

namespace tunekiln {

// What one read at an offset delivered: the bytes and, separately, why there were fewer.
struct ReadOutcome {
  std::size_t bytes = 0;
  AudioFileResult status = AudioFileResult::ok;  // ok (all bytes), endOfData or readFailed
};

// Random access to the bytes of an input, so that every parser reads a file, a test's memory and
// a fuzzer's input alike.
class ByteReader {
 public:
  virtual ~ByteReader() = default;

  // Up to `count` bytes at `offset`; fewer only at the end of the input (endOfData) or after an
  // error (readFailed).
  virtual ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const = 0;
  // The input's length now; a file may shrink while it is read.
  virtual std::uint64_t size() const = 0;

  // True when all `count` bytes were read.
  bool readExactly(std::uint64_t offset, void* buffer, std::size_t count) const {
    return readAt(offset, buffer, count).status == AudioFileResult::ok;
  }
};

// An open regular file.
class FileByteReader final : public ByteReader {
 public:
  explicit FileByteReader(const InputFile& file) : file_(file) {}

  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override;
  std::uint64_t size() const override { return file_.size(); }

 private:
  const InputFile& file_;
};

// The named regular file, opened for the reader alone; nothing when it does not open.
std::unique_ptr<ByteReader> open_file_reader(const std::string& path);

// Bytes in memory that outlive the reader.
class MemoryByteReader final : public ByteReader {
 public:
  explicit MemoryByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override;
  std::uint64_t size() const override { return bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
};

// The bytes [begin, end) of another reader, or as far as it reaches.
class ByteRange final : public ByteReader {
 public:
  ByteRange(std::shared_ptr<const ByteReader> whole, std::uint64_t begin, std::uint64_t end)
      : whole_(std::move(whole)), begin_(begin), end_(end) {}

  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override;
  std::uint64_t size() const override;

 private:
  std::shared_ptr<const ByteReader> whole_;
  std::uint64_t begin_;
  std::uint64_t end_;
};

// Little-endian and big-endian fields of a header already in memory.
inline std::uint16_t load_le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t load_le32(const std::uint8_t* p) {
  return load_le16(p) | static_cast<std::uint32_t>(load_le16(p + 2)) << 16;
}
inline std::uint64_t load_le64(const std::uint8_t* p) {
  return load_le32(p) | static_cast<std::uint64_t>(load_le32(p + 4)) << 32;
}
inline std::uint16_t load_be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint32_t load_be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(load_be16(p)) << 16 | load_be16(p + 2);
}

}  // namespace tunekiln
