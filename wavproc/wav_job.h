#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "audiofile/byte_reader.h"
#include "audiofile/file_identity.h"
#include "audiofile/wave_header.h"
#include "platform/input_file.h"
#include "platform/replacement_file.h"
#include "wavproc/operation_result.h"
#include "wavproc/output_header.h"
#include "wavproc/wav_process_host.h"

namespace tunekiln {

// Turns `frames` whole input frames into output bytes; returns how many bytes it wrote.
using FrameTransform = std::function<std::size_t(const std::uint8_t* in, std::size_t frames, std::uint8_t* out)>;

// The run that every WAV operation shares: choosing and opening the two files, reading the
// input's header through its chunks, copying the bytes in front of the samples with the fields
// that differ rewritten, the sample loop with its progress positions, and the one way it ends.
//
// The steps that can end the operation return its result; nothing means "go on".
class WavJob {
 public:
  // `input`, when given, is read in place of the file the user chooses (tests, fuzzing).
  explicit WavJob(WavProcessHost& host, const ByteReader* input = nullptr) : host_(host), reader_(input) {}

  // Asks for the input and the output, opens them and reads the input's header. A file that is
  // no WAVE file, or whose header cannot be read, ends the operation here; one whose encoding
  // is not read here goes on, for the operation to refuse in its own words.
  std::optional<OperationResult> open();
  // The input's encoding and channels as its `fmt ` states them.
  const WaveFormatFields& stated() const { return parse_.fields; }
  // The input's layout, or nothing when its encoding is not one the operations read.
  const WaveHeader* header() const { return parse_.header ? &*parse_.header : nullptr; }
  std::uint64_t inputLength() const { return inputLength_; }
  // The opened input's bytes.
  const ByteReader& input() const { return *reader_; }

  // Copies the input's bytes in front of the samples into the output, which will be in `format`
  // and hold about `dataBytes` of samples.
  std::optional<OperationResult> copyHeader(const PcmFormat& format, std::uint64_t dataBytes);

  // Feeds the whole frames of the input between `begin` and `end` through `transform` into the
  // output. Progress starts at 0 and grows by one step for every 16384 input bytes consumed;
  // a step is the share of `progressSpan` that 16384 bytes stand for.
  std::optional<OperationResult> processFrames(std::uint64_t begin, std::uint64_t end, std::size_t frameBytes,
                                       std::uint64_t progressSpan, const FrameTransform& transform);

  // Writes the output's sizes and puts it in place: finished with `message`.
  OperationResult finish(std::string_view message);
  // Ends with `message`, leaving no output; `reason`, when known, names the file and why.
  OperationResult fail(std::string_view message, std::optional<FailureReason> reason = std::nullopt);
  // Fails with `message` for a call on `file` that failed with errno `error`.
  OperationResult failCall(std::string_view message, FailedFile file, int error);
  // Fails with `message` and the input's encoding as the reason.
  OperationResult refuse(std::string_view message);
  OperationResult cancel();

 private:
  // Reads a WAVE file as it is, and FLAC, Ogg Vorbis, Opus and MP3 files as they decode.
  std::optional<OperationResult> openInput(const OpenedFile& file);
  std::optional<OperationResult> copyInput(std::uint64_t begin, std::uint64_t end);

  WavProcessHost& host_;
  const ByteReader* reader_;
  std::shared_ptr<const ByteReader> opened_;  // the input the job opened itself
  std::optional<FailureReason> readFailure_;  // why a read of a decoded input fails
  std::optional<ReplacementFile> output_;
  std::uint64_t inputLength_ = 0;
  WaveParse parse_;
  std::optional<OutputHeader> outputHeader_;
};

}  // namespace tunekiln
