#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/input_file.h"
#include "platform/replacement_file.h"
#include "wavproc/wav_process_host.h"

namespace tunekiln {

// How a file operation ended. The user has seen a message for `finished` and `failed`.
enum class Outcome {
  finished,   // the output is complete and in place; the finish message was shown
  failed,     // a failure message was shown; no output was left behind
  cancelled,  // the user cancelled a dialog; nothing was shown and no output was left behind
};

// Turns `frames` whole input frames into output bytes; returns how many bytes it wrote.
using FrameTransform = std::function<std::size_t(const std::uint8_t* in, std::size_t frames, std::uint8_t* out)>;

// The run that every WAV operation shares: choosing and opening the two files, reading header
// fields at fixed offsets, finding the samples behind the "da" marker, copying the header,
// the sample loop with its progress positions, and the one way it ends.
//
// The steps that can end the operation return that ending; nothing means "go on".
class WavJob {
 public:
  explicit WavJob(WavProcessHost& host) : host_(host) {}

  // Asks for the input and the output and opens them.
  std::optional<Outcome> open();
  std::uint64_t inputLength() const { return inputLength_; }

  // Little-endian header fields of the input; a field that the input does not hold reads as 0.
  std::uint16_t inputField16(std::uint64_t offset) const;
  std::uint32_t inputField32(std::uint64_t offset) const;

  // Looks for the two bytes "da" at even distances from `scanStart`, skips the two bytes
  // behind them and takes the four after those as the declared data size.
  std::optional<Outcome> findData(std::uint64_t scanStart);
  // Offset of the first sample byte.
  std::uint64_t headerLength() const { return headerLength_; }
  // Where the samples end: behind the declared size, or at the end of the input when the
  // declared size is 0 or reaches past it.
  std::uint64_t dataEnd() const;

  // Copies the input's bytes in front of the samples into the output.
  std::optional<Outcome> copyHeader();
  // Changes a field of the copied header.
  void rewriteField16(std::uint64_t offset, std::uint16_t value);
  void rewriteField32(std::uint64_t offset, std::uint32_t value);

  // Feeds the whole frames of the input between `begin` and `end` through `transform` into the
  // output. Progress starts at 0 and grows by one step for every 16384 input bytes consumed;
  // a step is the share of `progressSpan` that 16384 bytes stand for.
  std::optional<Outcome> processFrames(std::uint64_t begin, std::uint64_t end, std::size_t frameBytes,
                                       std::uint64_t progressSpan, const FrameTransform& transform);

  // Sets the output's data size to the sample bytes written and its RIFF size to its length
  // minus 8, puts it in place, and shows `message` after the progress end.
  Outcome finish(std::string_view message);
  Outcome fail(std::string_view message);
  Outcome cancel();

 private:
  WavProcessHost& host_;
  std::optional<InputFile> input_;
  std::optional<ReplacementFile> output_;
  std::uint64_t inputLength_ = 0;
  std::uint64_t headerLength_ = 0;
  std::uint32_t declaredDataSize_ = 0;
  bool writeFailed_ = false;
};

}  // namespace tunekiln
