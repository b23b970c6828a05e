#include "engine/wav_file_writer.h"

#include <algorithm>
#include <cerrno>

#include "audiofile/size_field.h"

namespace tunekiln {
namespace {

constexpr std::uint32_t kPlainHeaderBytes = 46;
constexpr std::uint32_t kDs64BodyBytes = 28;  // RIFF size, data size, sample count, table length
constexpr std::uint32_t kReservedHeaderBytes = kPlainHeaderBytes + 8 + kDs64BodyBytes;
constexpr std::uint32_t kRiffSizeOffset = 4;
constexpr std::uint32_t kReservedChunkOffset = 12;
constexpr std::uint32_t kDeferredSize = 0xFFFFFFFF;  // "see ds64"

void put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
  put16(at, value & 0xFFFF);
  put16(at + 2, value >> 16);
}

void put64(std::uint8_t* at, std::uint64_t value) {
  put32(at, static_cast<std::uint32_t>(value));
  put32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

}  // namespace

WavFileWriter::WavFileWriter(WavWriterHost& host, WavSizeLimits limits)
    : Output("WAV File Writer"), host_(host), limits_(limits) {}

void WavFileWriter::open(const StreamInfo&) {
  file_.reset();
  dataBytes_ = 0;
  paused_ = false;
  createWakeEvent();
}

void WavFileWriter::close() {
  file_.reset();  // a file still open here was not written to its end: it is given up
  releaseWakeEvent();
}

void WavFileWriter::pump() {
  Decoder& decoder = *attachedDecoder();
  if (!file_) {
    if (!openDestination()) {
      // Cancelled: the decoding ends as at the end of the stream, and nothing is dropped silently.
      closeAndDetachDecoder();
      signalUnlessPaused();
      return;
    }
    if (!writeHeader(decoder.getInfo())) {
      failWrite(errno);
      return;
    }
  }
  std::size_t size = block_.size();
  const ReadResult result = decoder.read(block_.data(), size);
  if (result == ReadResult::failed) {
    file_.reset();  // the engine reports the failure
    closeAndDetachDecoder(result);
    signalUnlessPaused();
    return;
  }
  // Without the reserved chunk the sizes cannot grow beyond 32 bits; never wrap them.
  const bool fits = headerBytes_ == kReservedHeaderBytes || riffSize(size) <= limits_.riffLimit;
  if (size > 0 && !fits) {
    failWrite(0);
    return;
  }
  if (size > 0 && !file_->append(block_.data(), size)) {
    failWrite(errno);
    return;
  }
  dataBytes_ += size;
  if (result == ReadResult::end) {
    closeAndDetachDecoder();
    finishFile();
  }
  signalUnlessPaused();
}

void WavFileWriter::pause(bool paused) {
  if (!file_) return;
  paused_ = paused;
  signalUnlessPaused();
}

bool WavFileWriter::openDestination() {
  while (const auto path = host_.chooseDestination()) {
    file_ = ReplacementFile::create(*path);
    if (file_) {
      dataBytes_ = 0;
      return true;
    }
  }
  return false;
}

bool WavFileWriter::writeHeader(const StreamInfo& info) {
  const std::uint32_t channels = info.stereo == 1 ? 2 : 1;
  const std::uint32_t bits = info.sixteenBit == 1 ? 16 : 8;
  blockAlign_ = bits / 8 * channels;
  const auto sampleRate = static_cast<std::uint32_t>(info.sampleRate);
  const std::uint32_t bytesPerSecond = blockAlign_ * sampleRate;
  // Sized for the estimated length; finishFile puts in what was really written.
  const std::uint64_t estimate = static_cast<std::uint64_t>(std::max(info.lengthSeconds, 0)) * bytesPerSecond;
  // An estimate may be short (an MP3's), so room for 64-bit sizes is kept from well below 4 GiB.
  headerBytes_ = estimate > limits_.reserveAbove ? kReservedHeaderBytes : kPlainHeaderBytes;

  std::uint8_t header[kReservedHeaderBytes] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  std::uint8_t* at = header + kReservedChunkOffset;
  if (headerBytes_ == kReservedHeaderBytes) {
    std::copy_n("JUNK", 4, at);
    put32(at + 4, kDs64BodyBytes);
    at += 8 + kDs64BodyBytes;
  }
  std::copy_n("fmt ", 4, at);
  put32(at + 4, 18);  // the format block with its extension-size word
  put16(at + 8, 1);   // PCM
  put16(at + 10, channels);
  put32(at + 12, sampleRate);
  put32(at + 16, bytesPerSecond);
  put16(at + 20, blockAlign_);
  put16(at + 22, bits);
  put16(at + 24, 0);
  std::copy_n("data", 4, at + 26);
  put32(at + 30, clamp_to_u32(estimate));
  put32(header + kRiffSizeOffset, clamp_to_u32(estimate + headerBytes_ - 8));
  return file_->append(header, headerBytes_);
}

void WavFileWriter::finishFile() {
  // The data chunk's size is the last field of either header.
  bool written;
  if (riffSize() <= limits_.riffLimit) {
    std::uint8_t size[4];
    put32(size, static_cast<std::uint32_t>(dataBytes_));
    written = file_->writeAt(headerBytes_ - 4, size, sizeof size);
    put32(size, static_cast<std::uint32_t>(riffSize()));
    written = file_->writeAt(kRiffSizeOffset, size, sizeof size) && written;
  } else {
    written = writeRf64Sizes();
  }
  if (!written || !file_->commit()) reportFailure(PLAYER_NTF_WRITE_FAILED, static_cast<std::uint32_t>(errno));
  file_.reset();
}

bool WavFileWriter::writeRf64Sizes() {
  std::uint8_t form[8] = {'R', 'F', '6', '4'};
  put32(form + 4, kDeferredSize);
  std::uint8_t ds64[8 + kDs64BodyBytes] = {'d', 's', '6', '4'};
  put32(ds64 + 4, kDs64BodyBytes);
  put64(ds64 + 8, riffSize());
  put64(ds64 + 16, dataBytes_);
  put64(ds64 + 24, dataBytes_ / blockAlign_);
  put32(ds64 + 32, 0);  // no table of further sizes
  std::uint8_t dataSize[4];
  put32(dataSize, kDeferredSize);
  return file_->writeAt(0, form, sizeof form) && file_->writeAt(kReservedChunkOffset, ds64, sizeof ds64) &&
         file_->writeAt(headerBytes_ - 4, dataSize, sizeof dataSize);
}

void WavFileWriter::failWrite(int error) {
  file_.reset();
  reportFailure(PLAYER_NTF_WRITE_FAILED, static_cast<std::uint32_t>(error));
  closeAndDetachDecoder();
  signalUnlessPaused();
}

void WavFileWriter::signalUnlessPaused() {
  if (!paused_) wakeEvent()->signal();
}

}  // namespace tunekiln
