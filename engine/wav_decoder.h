#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/decoder.h"
#include "platform/input_file.h"

namespace tunekiln {

// PCM WAV files of 8 or 16 bits and one or two channels, handed out as they are. Every file is
// offered to it first; anything else it refuses.
class WavDecoder final : public Decoder {
 public:
  bool open(const std::string& name) override;
  void close() override { file_.reset(); }
  void seek(std::uint32_t numerator, std::uint32_t denominator) override;
  StreamInfo getInfo() override { return info_; }
  // Reads no further than the end of the data chunk.
  bool read(std::uint8_t* buffer, std::size_t& size) override;
  std::int32_t getPosition() override { return static_cast<std::int32_t>(positionSeconds_); }

 private:
  bool parse();
  // Looks for a chunk from `offset` on; on success `offset` is where its body starts.
  bool findChunk(const char (&id)[5], std::uint64_t& offset, std::uint32_t& size) const;

  std::optional<InputFile> file_;
  std::uint64_t readPosition_ = 0;
  std::uint64_t dataOffset_ = 0;  // the first byte of the data chunk's body
  std::uint64_t dataEnd_ = 0;     // where its samples end
  StreamInfo info_;
  std::uint64_t bytesPerSecond_ = 0;
  std::uint64_t positionSeconds_ = 0;
  std::uint64_t positionRemainder_ = 0;  // bytes beyond the whole seconds, below bytesPerSecond_
};

}  // namespace tunekiln
