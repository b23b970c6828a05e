#include "wavproc/wav_job.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/wave_view.h"
#include "platform/background_appender.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// Large blocks keep the operations close to the speed of a plain file copy.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::uint64_t kProgressInterval = 16384;
constexpr std::uint64_t kFileHeaderBytes = 12;

// The same step at every increase, computed in single precision and truncated.
std::int32_t progress_step(std::uint64_t span) {
  if (span < kProgressInterval) return 0;  // no step is ever taken
  return static_cast<std::int32_t>(1000000.0f / static_cast<float>(span) * 16384.0f);
}

}  // namespace

std::optional<OperationResult> WavJob::open() {
  const auto inputPath = host_.chooseInputFile(kSoundInputDialog);
  if (!inputPath) return cancel();
  const auto outputPath = host_.chooseOutputFile(kWavFileDialog);
  if (!outputPath) return cancel();

  if (!reader_) {
    const OpenedFile file = open_audio_file(*inputPath);
    if (!file.reader) return failCall(wav_texts::kOpenInputError, FailedFile::input, errno);
    // Checked before the output is created, which must never touch the input.
    if (is_same_file(*inputPath, *outputPath)) return fail(wav_texts::kSameFile);
    if (auto ended = openInput(file)) return ended;
  }
  output_ = ReplacementFile::create(*outputPath);
  if (!output_) return failCall(wav_texts::kOpenOutputError, FailedFile::output, errno);
  inputLength_ = reader_->size();

  parse_ = read_wave_header(*reader_);
  switch (parse_.result) {
    case AudioFileResult::ok:
      // The copy in front of the samples would leave it out.
      if (parse_.header->fmt.offset > parse_.header->data.offset) {
        return fail(wav_texts::kUnrecognized,
                    FailureReason{FailedFile::input, "the format chunk stands behind the data"});
      }
      return std::nullopt;
    case AudioFileResult::unsupportedEncoding:
      return std::nullopt;
    case AudioFileResult::readFailed:
      return fail(wav_texts::kReadError);
    case AudioFileResult::notThisFormat:
      return fail(wav_texts::kUnrecognized, FailureReason{FailedFile::input, "not a WAV file"});
    default:
      return fail(wav_texts::kUnrecognized,
                  FailureReason{FailedFile::input, "the WAV header is damaged or incomplete"});
  }
}

std::optional<OperationResult> WavJob::openInput(const OpenedFile& file) {
  // WAVE files are read as they are, byte for byte; compressed files as what they decode to.
  const WaveView view = open_wave_view(file);
  if (view.result == AudioFileResult::readFailed) return fail(wav_texts::kReadError);
  if (!view.reader) return fail(wav_texts::kUnrecognized, FailureReason{FailedFile::input, view.reason});
  if (view.decoded) readFailure_ = FailureReason{FailedFile::input, damage_reason(file.identity.kind)};
  opened_ = view.reader;
  reader_ = opened_.get();
  return std::nullopt;
}

std::optional<OperationResult> WavJob::copyInput(std::uint64_t begin, std::uint64_t end) {
  std::vector<std::uint8_t> block(std::min<std::uint64_t>(kBlockBytes, end - begin));
  for (std::uint64_t offset = begin; offset < end;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), end - offset));
    const auto got = reader_->readAt(offset, block.data(), want);
    if (got.status == AudioFileResult::readFailed) return fail(wav_texts::kReadError);
    if (got.status == AudioFileResult::damaged) return fail(wav_texts::kReadError, readFailure_);
    if (got.bytes != want) return fail(wav_texts::kUnrecognized);  // shrank meanwhile
    if (!output_->append(block.data(), want)) return failCall(wav_texts::kWriteError, FailedFile::output, errno);
    offset += want;
  }
  return std::nullopt;
}

std::optional<OperationResult> WavJob::copyHeader(const PcmFormat& format, std::uint64_t dataBytes) {
  const auto& plan = outputHeader_.emplace(parse_, format, dataBytes);
  if (auto ended = copyInput(0, kFileHeaderBytes)) return ended;
  if (!output_->append(plan.inserted().data(), plan.inserted().size())) {
    return failCall(wav_texts::kWriteError, FailedFile::output, errno);
  }
  return copyInput(kFileHeaderBytes, plan.copiedBytes());
}

std::optional<OperationResult> WavJob::processFrames(std::uint64_t begin, std::uint64_t end, std::size_t frameBytes,
                                             std::uint64_t progressSpan, const FrameTransform& transform) {
  std::int32_t position = 0;
  host_.setProgress(position);
  const std::int32_t step = progress_step(progressSpan);

  const std::size_t framesPerBlock = std::max<std::size_t>(1, kBlockBytes / frameBytes);
  std::vector<std::uint8_t> in(framesPerBlock * frameBytes);
  std::optional<std::string_view> failure;
  int writeError = 0;
  {
    BackgroundAppender appender(*output_, in.size());
    std::uint64_t consumed = 0;
    for (std::uint64_t offset = begin; end > offset && end - offset >= frameBytes;) {
      const auto wanted =
          static_cast<std::size_t>(std::min<std::uint64_t>(framesPerBlock, (end - offset) / frameBytes));
      // The range lies within the length the input had when it was opened: fewer bytes mean it
      // has shrunk since, and what is left of it would make an output that lacks samples.
      if (reader_->readAt(offset, in.data(), wanted * frameBytes).status != AudioFileResult::ok) {
        failure = wav_texts::kReadError;
        break;
      }
      if (appender.failed()) break;
      std::uint8_t* out = appender.freeBlock();
      appender.append(out, transform(in.data(), wanted, out));

      const std::uint64_t bytes = wanted * frameBytes;
      for (auto mark = consumed / kProgressInterval; mark < (consumed + bytes) / kProgressInterval; ++mark) {
        position += step;
        host_.setProgress(position);
      }
      consumed += bytes;
      offset += bytes;
    }
    if (!appender.finish() && !failure) {
      failure = wav_texts::kWriteError;
      writeError = errno;
    }
  }  // the writing thread has ended: the output may go
  if (!failure) return std::nullopt;
  if (writeError != 0) return failCall(*failure, FailedFile::output, writeError);
  return fail(*failure, readFailure_);
}

OperationResult WavJob::finish(std::string_view message) {
  const std::uint64_t headerBytes = outputHeader_->copiedBytes() + outputHeader_->inserted().size();
  bool written = true;
  for (const auto& patch : outputHeader_->patches(output_->appendedBytes() - headerBytes)) {
    written = written && output_->writeAt(patch.offset, patch.bytes.data(), patch.bytes.size());
  }
  opened_.reset();
  if (!written || !output_->commit()) return failCall(wav_texts::kWriteError, FailedFile::output, errno);
  output_.reset();
  host_.setProgress(kProgressEnd);
  return {Outcome::finished, std::string(message), std::nullopt};
}

OperationResult WavJob::fail(std::string_view message, std::optional<FailureReason> reason) {
  opened_.reset();
  output_.reset();  // removes what was written
  return {Outcome::failed, std::string(message), std::move(reason)};
}

OperationResult WavJob::failCall(std::string_view message, FailedFile file, int error) {
  // Without errno the call left no reason to tell.
  if (error == 0) return fail(message);
  return fail(message, FailureReason{file, std::strerror(error)});
}

OperationResult WavJob::refuse(std::string_view message) {
  return fail(message, FailureReason{FailedFile::input, describe_wave_encoding(stated()) + " is not supported"});
}

OperationResult WavJob::cancel() {
  opened_.reset();
  output_.reset();
  return {Outcome::cancelled, {}, std::nullopt};
}

}  // namespace tunekiln
