#pragma once

#include <string>

#include "engine/wav_decoder.h"

namespace tunekiln {

// FLAC, Ogg Vorbis and Opus files: libsndfile decodes each into the WAVE file it stands for, and
// the WAV decoder plays that, so the length is exact, a seek lands on the sample, and samples
// wider than 16 bits or in float are dithered as a WAVE file's are.
class SoundFileDecoder final : public Decoder {
 public:
  bool open(const OpenedFile& file) override;
  void close() override { wave_.close(); }
  void seek(std::uint32_t numerator, std::uint32_t denominator) override { wave_.seek(numerator, denominator); }
  StreamInfo getInfo() override { return wave_.getInfo(); }
  ReadResult read(std::uint8_t* buffer, std::size_t& size) override;
  std::int32_t getPosition() override { return wave_.getPosition(); }
  std::string refusal() const override { return refusal_; }
  void ditherPrivately() override { wave_.ditherPrivately(); }
  const char* name() const override { return name_; }

 private:
  WavDecoder wave_;
  std::string refusal_;
  std::string damage_;     // why a read fails
  const char* name_ = "";  // "flac", "vorbis" or "opus"
};

}  // namespace tunekiln
