#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audiofile/byte_reader.h"
#include "audiofile/pcm_source.h"

namespace tunekiln {

// A compressed file seen as the WAVE file it decodes to, so that every reader of WAVE files
// takes it: a header (RF64 when the samples pass 4 GiB) with the file's tags as LIST/INFO, then
// the samples, decoded as they are read. Reads in order decode each frame once; a read behind
// or far ahead of the last one seeks the source. A stream that ends before the length its header
// states, or is known to be cut short, reads as damaged at its end, never as a shorter file.
class DecodedWave final : public ByteReader {
 public:
  explicit DecodedWave(std::unique_ptr<PcmSource> source);

  ReadOutcome readAt(std::uint64_t offset, void* buffer, std::size_t count) const override;
  std::uint64_t size() const override { return header_.size() + dataBytes_; }

  const PcmFormat& format() const { return source_->format(); }
  std::uint64_t dataOffset() const { return header_.size(); }

 private:
  // Decodes the block that starts at `frame`; its status when nothing came.
  AudioFileResult fill(std::uint64_t frame) const;

  std::unique_ptr<PcmSource> source_;
  std::vector<std::uint8_t> header_;
  std::uint64_t dataBytes_ = 0;
  mutable std::mutex mutex_;                  // readers may share the file across threads
  mutable std::vector<std::uint8_t> block_;   // the last frames decoded
  mutable std::uint64_t blockFrame_ = 0;      // the first of them
  mutable std::size_t blockFrames_ = 0;
  mutable std::uint64_t sourceFrame_ = 0;     // where the source stands
};

}  // namespace tunekiln
