#include "wavproc/wav_job.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "platform/background_appender.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// Large blocks keep the operations close to the speed of a plain file copy.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::uint64_t kProgressInterval = 16384;

std::array<std::uint8_t, 4> little_endian32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::uint32_t from_little_endian32(const std::array<std::uint8_t, 4>& bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint32_t clamp_to_u32(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

// The same step at every increase, computed in single precision and truncated.
std::int32_t progress_step(std::uint64_t span) {
  if (span < kProgressInterval) return 0;  // no step is ever taken
  return static_cast<std::int32_t>(1000000.0f / static_cast<float>(span) * 16384.0f);
}

}  // namespace

std::optional<Outcome> WavJob::open() {
  const auto inputPath = host_.chooseInputFile(kWavFileDialog);
  if (!inputPath) return cancel();
  const auto outputPath = host_.chooseOutputFile(kWavFileDialog);
  if (!outputPath) return cancel();

  input_ = InputFile::open(*inputPath);
  if (!input_) return fail(wav_texts::kOpenInputError);
  // Checked before the output is created, which must never touch the input.
  if (is_same_file(input_->fd(), *outputPath)) return fail(wav_texts::kSameFile);
  output_ = ReplacementFile::create(*outputPath);
  if (!output_) return fail(wav_texts::kOpenOutputError);
  inputLength_ = input_->size();
  return std::nullopt;
}

std::uint16_t WavJob::inputField16(std::uint64_t offset) const {
  std::array<std::uint8_t, 2> bytes{};
  if (input_->readAt(offset, bytes.data(), bytes.size()) != 2) return 0;
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t WavJob::inputField32(std::uint64_t offset) const {
  std::array<std::uint8_t, 4> bytes{};
  if (input_->readAt(offset, bytes.data(), bytes.size()) != 4) return 0;
  return from_little_endian32(bytes);
}

std::optional<Outcome> WavJob::findData(std::uint64_t scanStart) {
  std::vector<std::uint8_t> block(kBlockBytes);  // even, so pairs never straddle two blocks
  for (std::uint64_t offset = scanStart;; offset += block.size()) {
    const auto got = input_->readAt(offset, block.data(), block.size());
    if (got < 0) return fail(wav_texts::kReadError);
    const auto pairs = static_cast<std::size_t>(got) / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
      if (block[2 * i] != 'd' || block[2 * i + 1] != 'a') continue;
      const std::uint64_t marker = offset + 2 * i;
      std::array<std::uint8_t, 4> size{};
      if (input_->readAt(marker + 4, size.data(), size.size()) != 4) return fail(wav_texts::kUnrecognized);
      declaredDataSize_ = from_little_endian32(size);
      headerLength_ = marker + 8;
      return std::nullopt;
    }
    if (static_cast<std::size_t>(got) < block.size()) return fail(wav_texts::kUnrecognized);
  }
}

std::uint64_t WavJob::dataEnd() const {
  const std::uint64_t declaredEnd = headerLength_ + declaredDataSize_;
  if (declaredDataSize_ == 0 || declaredEnd > inputLength_) return inputLength_;
  return declaredEnd;
}

std::optional<Outcome> WavJob::copyHeader() {
  std::vector<std::uint8_t> block(std::min<std::uint64_t>(kBlockBytes, headerLength_));
  for (std::uint64_t offset = 0; offset < headerLength_;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), headerLength_ - offset));
    const auto got = input_->readAt(offset, block.data(), want);
    if (got < 0) return fail(wav_texts::kReadError);
    if (static_cast<std::size_t>(got) != want) return fail(wav_texts::kUnrecognized);  // shrank meanwhile
    if (!output_->append(block.data(), want)) return fail(wav_texts::kWriteError);
    offset += want;
  }
  return std::nullopt;
}

void WavJob::rewriteField16(std::uint64_t offset, std::uint16_t value) {
  const std::array<std::uint8_t, 2> bytes{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  writeFailed_ |= !output_->writeAt(offset, bytes.data(), bytes.size());
}

void WavJob::rewriteField32(std::uint64_t offset, std::uint32_t value) {
  const auto bytes = little_endian32(value);
  writeFailed_ |= !output_->writeAt(offset, bytes.data(), bytes.size());
}

std::optional<Outcome> WavJob::processFrames(std::uint64_t begin, std::uint64_t end, std::size_t frameBytes,
                                             std::uint64_t progressSpan, const FrameTransform& transform) {
  std::int32_t position = 0;
  host_.setProgress(position);
  const std::int32_t step = progress_step(progressSpan);

  const std::size_t framesPerBlock = std::max<std::size_t>(1, kBlockBytes / frameBytes);
  std::vector<std::uint8_t> in(framesPerBlock * frameBytes);
  std::optional<std::string_view> failure;
  {
    BackgroundAppender appender(*output_, in.size());
    std::uint64_t consumed = 0;
    for (std::uint64_t offset = begin; end > offset && end - offset >= frameBytes;) {
      const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(framesPerBlock, (end - offset) / frameBytes));
      const auto got = input_->readAt(offset, in.data(), wanted * frameBytes);
      if (got < 0) {
        failure = wav_texts::kReadError;
        break;
      }
      const std::size_t frames = static_cast<std::size_t>(got) / frameBytes;
      // The range lies within the length the input had when it was opened: it has shrunk since,
      // and what is left of it would make an output that lacks part of the samples.
      if (frames < wanted) {
        failure = wav_texts::kReadError;
        break;
      }
      if (appender.failed()) break;
      std::uint8_t* out = appender.freeBlock();
      appender.append(out, transform(in.data(), frames, out));

      const std::uint64_t bytes = frames * frameBytes;
      for (auto mark = consumed / kProgressInterval; mark < (consumed + bytes) / kProgressInterval; ++mark) {
        position += step;
        host_.setProgress(position);
      }
      consumed += bytes;
      offset += bytes;
    }
    if (!appender.finish() && !failure) failure = wav_texts::kWriteError;
  }  // the writing thread has ended: the output may go
  if (failure) return fail(*failure);
  return std::nullopt;
}

Outcome WavJob::finish(std::string_view message) {
  const std::uint64_t length = output_->appendedBytes();
  rewriteField32(headerLength_ - 4, clamp_to_u32(length - headerLength_));
  rewriteField32(4, clamp_to_u32(length - 8));
  input_.reset();
  if (writeFailed_ || !output_->commit()) return fail(wav_texts::kWriteError);
  output_.reset();
  host_.setProgress(kProgressEnd);
  host_.showMessage(message);
  return Outcome::finished;
}

Outcome WavJob::fail(std::string_view message) {
  input_.reset();
  output_.reset();  // removes what was written
  host_.showMessage(message);
  return Outcome::failed;
}

Outcome WavJob::cancel() {
  input_.reset();
  output_.reset();
  return Outcome::cancelled;
}

}  // namespace tunekiln
