#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audiofile/byte_reader.h"

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
  // The input's length; nothing for a stream that only ends when it ends (a pipe).
  virtual std::optional<std::uint64_t> size() const { return std::nullopt; }
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
  std::optional<std::uint64_t> size() const override { return bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::int64_t position_ = 0;  // never negative; may lie past the end
};

// The input as the reader needs it: random access for the header, then the samples in order.
// The first bytes are kept in memory as the header parsers ask for them, so a header can be
// parsed also from an input that cannot seek (a pipe); reads beyond them seek, or on such an
// input read forward and drop what lies between. The samples then start from memory where the
// header left them there, and go on from the input.
class InputBytes final : public ByteReader {
 public:
  explicit InputBytes(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}

  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override;
  // The input's length, or the largest offset there is when the input does not know it.
  std::uint64_t size() const override { return source_->size().value_or(UINT64_MAX); }
  bool sizeKnown() const { return source_->size().has_value(); }

  // Where the next read() starts.
  void startAt(std::uint64_t offset) { position_ = offset; }
  // Up to `count` bytes from the position on; fewer only at the end or after a read error.
  ReadOutcome read(void* buffer, std::size_t count);
  bool close() { return source_->close(); }

 private:
  // Puts the source at `offset`; false when it cannot get there (behind it, on a pipe).
  bool moveSourceTo(std::uint64_t offset) const;
  // Reads from the source at its position until `count` bytes, its end or an error.
  ReadOutcome readSource(void* buffer, std::size_t count) const;

  std::unique_ptr<ByteSource> source_;
  mutable std::vector<std::uint8_t> kept_;  // the input's first bytes
  mutable std::uint64_t sourcePosition_ = 0;
  std::uint64_t position_ = 0;
};

}  // namespace tunekiln
