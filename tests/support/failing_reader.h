#pragma once

#include <cstdint>
#include <limits>

#include "audiofile/byte_reader.h"
#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// Bytes in memory of which those from `failFrom` on cannot be read, as on a failing disk: a
// read that reaches them fails whole.
class FailingReader final : public ByteReader {
 public:
  FailingReader(const Bytes& bytes, std::uint64_t failFrom) : memory_(bytes), failFrom_(failFrom) {}
  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override {
    if (offset + count > failFrom_) return {0, AudioFileResult::readFailed};
    return memory_.readAt(offset, buffer, count);
  }
  std::uint64_t size() const override { return memory_.size(); }

 private:
  MemoryByteReader memory_;
  std::uint64_t failFrom_;
};

}  // namespace tunekiln::test
