#pragma once

#include <mad.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/byte_reader.h"
#include "audiofile/wave_header.h"
#include "engine/decoder.h"
#include "engine/dither.h"

namespace tunekiln {

// WAVE files (RIFF, RF64 and BW64) of one or two channels: integer PCM of 8, 16, 24 or 32 bits
// and IEEE float of 32 or 64 bits, plain or EXTENSIBLE. 8- and 16-bit samples are handed out as
// they are; the others as 16 bits, dithered as the MP3 decoder's are. Every file is offered to
// it first; anything else it refuses.
class WavDecoder final : public Decoder {
 public:
  bool open(const OpenedFile& file) override;
  // Opens the WAVE file that `reader` holds from `start` on.
  bool openWave(std::shared_ptr<const ByteReader> reader, std::uint64_t start);
  void close() override { reader_.reset(); }
  // To a place that is a whole number of frames and of 4 bytes into the samples.
  void seek(std::uint32_t numerator, std::uint32_t denominator) override;
  StreamInfo getInfo() override { return info_; }
  // Reads no further than the end of the data chunk.
  ReadResult read(std::uint8_t* buffer, std::size_t& size) override;
  std::int32_t getPosition() override { return static_cast<std::int32_t>(positionSeconds_); }

  const char* name() const override { return "wav"; }
  void ditherPrivately() override { dither_.useOwn(); }
  std::string refusal() const override;

 private:
  // Turns `count` samples, `strideBytes` apart, into libmad's fixed point.
  using ToFixed = void (*)(const std::uint8_t* samples, std::size_t count, std::size_t strideBytes, mad_fixed_t* out);

  bool parse(std::uint64_t start);
  ReadResult readAsStored(std::uint8_t* buffer, std::size_t& size);
  ReadResult readConverted(std::uint8_t* buffer, std::size_t& size);
  // Counts `bytes` of the file's samples as handed out.
  void advance(std::uint64_t bytes);

  std::shared_ptr<const ByteReader> reader_;
  WaveParse parse_;
  std::uint64_t readPosition_ = 0;
  std::uint64_t dataBegin_ = 0;  // the first sample byte
  std::uint64_t dataEnd_ = 0;    // where the samples end
  std::uint32_t bytesPerFrame_ = 0;
  std::uint32_t bytesPerSample_ = 0;
  std::uint64_t bytesPerSecond_ = 0;  // of the file's samples
  StreamInfo info_;
  std::uint64_t positionSeconds_ = 0;
  std::uint64_t positionRemainder_ = 0;  // bytes beyond the whole seconds, below bytesPerSecond_
  // Files that are converted to 16 bits: the converter of their encoding, and room for the
  // samples of one pass.
  ToFixed toFixed_ = nullptr;
  std::vector<std::uint8_t> stored_;
  std::vector<mad_fixed_t> left_;
  std::vector<mad_fixed_t> right_;
  DitherChoice dither_;
};

}  // namespace tunekiln
