#pragma once

#include <cstdint>
#include <vector>

#include "audiofile/wave_header.h"

namespace tunekiln {

// Bytes of an output's header that differ from the copy of the input's.
struct HeaderPatch {
  std::uint64_t offset;  // in the output
  std::vector<std::uint8_t> bytes;
};

// The header of an operation's output: the input's bytes in front of its samples, copied, with
// the fields that differ rewritten. The fields are where the input's chunks put them, so a longer
// `fmt ` and any chunk in front of the data travel unchanged.
class OutputHeader {
 public:
  // The header of an output in `format` holding about `dataBytes` of samples, for the input that
  // `input` describes. An RF64 or BW64 input keeps its form; a RIFF input whose output would pass
  // the 32-bit sizes becomes RF64, its `ds64` in place of a leading JUNK chunk or put behind "WAVE".
  OutputHeader(const WaveParse& input, const PcmFormat& format, std::uint64_t dataBytes);

  // The input's bytes to copy: everything in front of the samples.
  std::uint64_t copiedBytes() const { return copied_; }
  // Bytes to put behind the input's first twelve (the file header); empty unless a `ds64` must be added.
  const std::vector<std::uint8_t>& inserted() const { return inserted_; }
  // The fields to write once `dataBytes` of samples stand behind the header.
  std::vector<HeaderPatch> patches(std::uint64_t dataBytes) const;

 private:
  std::uint64_t outputOffset(std::uint64_t inputOffset) const;

  WaveHeader input_;
  bool extensible_;
  PcmFormat format_;
  std::uint64_t copied_;
  bool sizes64_;       // the sizes stand in `ds64`, the 32-bit fields say "see ds64"
  bool becomesRf64_;   // a RIFF input whose output is RF64
  std::vector<std::uint8_t> inserted_;
};

}  // namespace tunekiln
