#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace tunekiln {

enum class SeekOrigin { begin, current, end };

// Where the audio input reader takes its bytes from: a file, or memory in tests and fuzzing.
// It behaves as a stdio stream opened for reading: a position may be set past the end, and
// reads there deliver nothing.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Up to `count` bytes; fewer only at the end of the input or after a read error.
  virtual std::size_t read(void* buffer, std::size_t count) = 0;
  // False when the position cannot be set (before the start, or an input that cannot seek).
  virtual bool seek(std::int64_t offset, SeekOrigin origin) = 0;
  // A read has failed, as opposed to reaching the end.
  virtual bool failed() const = 0;
  // False when closing reported an error.
  virtual bool close() = 0;
};

// A regular file through a stdio stream. Nothing when the path does not open for reading or
// names something other than a regular file (a folder, a device, a pipe).
std::unique_ptr<ByteSource> open_file_source(const std::string& path);

// Bytes in memory that outlive the source.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t read(void* buffer, std::size_t count) override;
  bool seek(std::int64_t offset, SeekOrigin origin) override;
  bool failed() const override { return false; }
  bool close() override { return true; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::int64_t position_ = 0;  // never negative; may lie past the end
};

}  // namespace tunekiln
