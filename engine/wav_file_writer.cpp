#include "engine/wav_file_writer.h"

#include <algorithm>
#include <limits>

#include "engine/engine_texts.h"

namespace tunekiln {
namespace {

constexpr std::size_t kHeaderBytes = 46;
constexpr std::uint32_t kRiffSizeOffset = 4;
constexpr std::uint32_t kDataSizeOffset = 42;
// The RIFF size counts everything behind its own field: the header's other 38 bytes and the data.
constexpr std::uint32_t kRiffSizeOverData = kHeaderBytes - 8;

void put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
  put16(at, value & 0xFFFF);
  put16(at + 2, value >> 16);
}

std::uint32_t clamp_to_u32(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

WavFileWriter::WavFileWriter(WavWriterHost& host) : Output("WAV File Writer"), host_(host) {}

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
      failWrite();
      return;
    }
  }
  std::size_t size = block_.size();
  const bool more = decoder.read(block_.data(), size);
  if (size > 0 && !file_->append(block_.data(), size)) {
    failWrite();
    return;
  }
  dataBytes_ += size;
  if (!more) {
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
  while (const auto path = host_.chooseDestination(kWavFileDialog)) {
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
  const std::uint32_t blockAlign = bits / 8 * channels;
  const std::uint32_t sampleRate = static_cast<std::uint32_t>(info.sampleRate);
  const std::uint32_t bytesPerSecond = blockAlign * sampleRate;
  // Sized for the estimated length; finishFile puts in what was really written.
  const std::uint32_t dataSize = static_cast<std::uint32_t>(info.lengthSeconds) * bytesPerSecond;

  std::uint8_t header[kHeaderBytes] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  put32(header + kRiffSizeOffset, dataSize + kRiffSizeOverData);
  put32(header + 16, 18);  // the format block with its extension-size word
  put16(header + 20, 1);   // PCM
  put16(header + 22, channels);
  put32(header + 24, sampleRate);
  put32(header + 28, bytesPerSecond);
  put16(header + 32, blockAlign);
  put16(header + 34, bits);
  put16(header + 36, 0);
  std::copy_n("data", 4, header + 38);
  put32(header + kDataSizeOffset, dataSize);
  return file_->append(header, sizeof header);
}

void WavFileWriter::finishFile() {
  std::uint8_t size[4];
  put32(size, clamp_to_u32(dataBytes_));
  bool written = file_->writeAt(kDataSizeOffset, size, sizeof size);
  put32(size, clamp_to_u32(dataBytes_ + kRiffSizeOverData));
  written = file_->writeAt(kRiffSizeOffset, size, sizeof size) && written;
  if (!written || !file_->commit()) host_.showMessage(engine_texts::kWavWriteError);
  file_.reset();
}

void WavFileWriter::failWrite() {
  file_.reset();
  host_.showMessage(engine_texts::kWavWriteError);
  closeAndDetachDecoder();
  signalUnlessPaused();
}

void WavFileWriter::signalUnlessPaused() {
  if (!paused_) wakeEvent()->signal();
}

}  // namespace tunekiln
