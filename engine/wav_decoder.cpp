#include "engine/wav_decoder.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "audiofile/pcm_samples.h"
#include "engine/dither.h"

namespace tunekiln {
namespace {

// Frames converted in one pass: at most 64 KiB of 64-bit float stereo.
constexpr std::size_t kFramesPerPass = 4096;
// Full scale of a 32-bit sample, 2^31, is 1.0 in libmad's fixed point, 2^28.
constexpr int kFullScaleToFixed = 3;

template <SampleEncoding kEncoding>
void to_fixed(const std::uint8_t* samples, std::size_t count, std::size_t strideBytes, mad_fixed_t* out) {
  for (std::size_t i = 0; i < count; ++i, samples += strideBytes) {
    out[i] = pcm::load_full_scale32(samples, kEncoding) >> kFullScaleToFixed;
  }
}

}  // namespace

bool WavDecoder::open(const OpenedFile& file) {
  close();
  parse_ = {};
  if (file.identity.kind != FileKind::wave) return false;
  return openWave(file.reader, file.identity.start);
}

bool WavDecoder::openWave(std::shared_ptr<const ByteReader> reader, std::uint64_t start) {
  close();
  reader_ = std::move(reader);
  if (!parse(start)) {
    close();
    return false;
  }
  return true;
}

std::string WavDecoder::refusal() const {
  switch (parse_.result) {
    case AudioFileResult::unsupportedEncoding:
      // MPEG audio in a WAVE file is the MP3 decoder's.
      return parse_.fields.formatTag == kWaveFormatMpegLayer3 ? std::string()
                                               : describe_wave_encoding(parse_.fields) + " is not supported";
    case AudioFileResult::unsupportedChannels:
      return describe_wave_encoding(parse_.fields) + " is not supported";
    case AudioFileResult::damaged:
      return "the WAV header is damaged or incomplete";  // as the WAV operations say it
    case AudioFileResult::readFailed:
      return "the file could not be read";
    default:
      return {};
  }
}

bool WavDecoder::parse(std::uint64_t start) {
  parse_ = read_wave_header(*reader_, start);
  if (parse_.result != AudioFileResult::ok) return false;
  const WaveHeader header = *parse_.header;  // a copy: a refusal below drops it from parse_
  const PcmFormat& format = header.format;
  // Only what the outputs can take; anything else would be heard as noise.
  if (format.channels() > 2) {
    parse_ = {.result = AudioFileResult::unsupportedChannels, .fields = parse_.fields};
    return false;
  }
  if (format.bytesPerSecond() > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    parse_ = {.result = AudioFileResult::damaged, .fields = parse_.fields};  // a rate no recording has
    return false;
  }
  switch (format.encoding()) {
    case SampleEncoding::unsigned8:
    case SampleEncoding::signed16:
      toFixed_ = nullptr;
      break;
    case SampleEncoding::signed24:
      toFixed_ = to_fixed<SampleEncoding::signed24>;
      break;
    case SampleEncoding::signed32:
      toFixed_ = to_fixed<SampleEncoding::signed32>;
      break;
    case SampleEncoding::float32:
      toFixed_ = to_fixed<SampleEncoding::float32>;
      break;
    case SampleEncoding::float64:
      toFixed_ = to_fixed<SampleEncoding::float64>;
      break;
  }
  if (toFixed_ != nullptr) {
    stored_.resize(kFramesPerPass * format.bytesPerFrame());
    left_.resize(kFramesPerPass);
    right_.resize(kFramesPerPass);
  }

  dataBegin_ = header.dataBegin;
  // Whole frames only: a sound card takes nothing else, and the bytes of a cut frame are no sound.
  dataEnd_ = header.dataBegin + header.frameCount() * format.bytesPerFrame();
  bytesPerFrame_ = format.bytesPerFrame();
  bytesPerSample_ = format.bytesPerSample();
  bytesPerSecond_ = format.bytesPerSecond();
  const std::uint64_t seconds = header.dataBytes() / bytesPerSecond_;
  constexpr std::uint64_t kLongest = std::numeric_limits<std::int32_t>::max();
  info_ = {.lengthSeconds = static_cast<std::int32_t>(std::min(seconds, kLongest)),
           .bitrateKbps = 0,
           .sampleRate = static_cast<std::int32_t>(format.sampleRate()),
           .stereo = format.channels() == 2 ? 1 : 0,
           .sixteenBit = format.encoding() == SampleEncoding::unsigned8 ? 0 : 1,
           .bitsPerSample = static_cast<std::int32_t>(format.bitsPerSample()),
           .floatSamples = format.isFloat() ? 1 : 0};
  readPosition_ = dataBegin_;
  positionSeconds_ = 0;
  positionRemainder_ = 0;
  return true;
}

void WavDecoder::seek(std::uint32_t numerator, std::uint32_t denominator) {
  const auto fraction = seek_fraction(numerator, denominator);
  if (!fraction) return;
  // Whole frames, and for 8- and 16-bit files whole multiples of 4 bytes as ever.
  const std::uint64_t step = std::lcm<std::uint64_t>(4, bytesPerFrame_);
  auto offset = static_cast<std::uint64_t>(*fraction * static_cast<double>(dataEnd_ - dataBegin_));
  offset -= offset % step;
  positionSeconds_ = offset / bytesPerSecond_;
  positionRemainder_ = offset % bytesPerSecond_;
  readPosition_ = dataBegin_ + offset;
}

ReadResult WavDecoder::read(std::uint8_t* buffer, std::size_t& size) {
  return toFixed_ == nullptr ? readAsStored(buffer, size) : readConverted(buffer, size);
}

ReadResult WavDecoder::readAsStored(std::uint8_t* buffer, std::size_t& size) {
  const std::uint64_t left = readPosition_ < dataEnd_ ? dataEnd_ - readPosition_ : 0;
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
  const auto got = reader_->readAt(readPosition_, buffer, wanted);
  size = got.bytes;
  advance(size);
  // A file that ends before its samples do has shrunk since it was opened: they are lost.
  if (got.status != AudioFileResult::ok) return ReadResult::failed;
  return size > 0 ? ReadResult::more : ReadResult::end;
}

ReadResult WavDecoder::readConverted(std::uint8_t* buffer, std::size_t& size) {
  const bool stereo = info_.stereo == 1;
  const std::size_t outFrameBytes = stereo ? 4 : 2;
  std::size_t wanted = size / outFrameBytes;
  size = 0;
  while (wanted > 0) {
    const std::uint64_t framesLeft = readPosition_ < dataEnd_ ? (dataEnd_ - readPosition_) / bytesPerFrame_ : 0;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>({wanted, kFramesPerPass, framesLeft}));
    if (count == 0) return size > 0 ? ReadResult::more : ReadResult::end;
    const auto got = reader_->readAt(readPosition_, stored_.data(), count * bytesPerFrame_);
    const std::size_t frames = got.bytes / bytesPerFrame_;
    std::uint8_t* out = buffer + size;
    toFixed_(stored_.data(), frames, bytesPerFrame_, left_.data());
    if (stereo) {
      toFixed_(stored_.data() + bytesPerSample_, frames, bytesPerFrame_, right_.data());
      dither_stereo_to_16(left_.data(), right_.data(), frames, out, dither_.left(), dither_.right());
    } else {
      dither_to_16(dither_.left(), left_.data(), frames, out, outFrameBytes);
    }
    size += frames * outFrameBytes;
    wanted -= frames;
    advance(std::uint64_t{frames} * bytesPerFrame_);
    if (got.status != AudioFileResult::ok) return ReadResult::failed;  // shrunk, as above
  }
  return ReadResult::more;  // also for a buffer too small for one frame
}

void WavDecoder::advance(std::uint64_t bytes) {
  readPosition_ += bytes;
  positionRemainder_ += bytes;
  positionSeconds_ += positionRemainder_ / bytesPerSecond_;
  positionRemainder_ %= bytesPerSecond_;
}

}  // namespace tunekiln
