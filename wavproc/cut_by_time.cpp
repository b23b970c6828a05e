#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "audiofile/pcm_samples.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// The raised-cosine gain of the frame `index` frames in from an edge of the result, in a fade of
// `length` frames: 0 on the edge itself, so that the result starts and ends in silence.
double fade_gain(std::uint64_t index, std::uint64_t length) {
  return 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(index) / static_cast<double>(length));
}

// Every sample of one frame times `gain`, in the frame's own encoding: integers rounded (8-bit
// ones around their middle, 128) and kept in range, floats as floats.
void fade_frame(std::uint8_t* frame, const PcmFormat& format, double gain) {
  const SampleEncoding encoding = format.encoding();
  for (std::uint32_t channel = 0; channel < format.channels(); ++channel) {
    std::uint8_t* sample = frame + channel * format.bytesPerSample();
    if (format.isFloat()) {
      pcm::store_float(sample, encoding, pcm::load_float(sample, encoding) * gain);
    } else {
      pcm::store_integer(sample, encoding, std::llround(pcm::load_integer(sample, encoding) * gain));
    }
  }
}

}  // namespace

OperationResult CutByTime(WavProcessHost& host, const ByteReader* input) {
  WavJob job(host, input);
  if (auto ended = job.open()) return *ended;
  const WaveHeader* header = job.header();
  if (!header) return job.refuse(wav_texts::kUnsupportedEncoding);
  if (!host.askCutTimes()) return job.cancel();

  // Whole frames of the data only: a cut never starts inside a frame nor takes header bytes.
  const PcmFormat& format = header->format;
  const std::uint64_t frames = header->frameCount();
  const CutRange range = g_cutRange;
  const std::uint64_t startFrame = cut_frame(range.start, format.sampleRate());
  if (startFrame >= frames) return job.fail(wav_texts::kStartPastEnd);
  const std::uint64_t endFrame = range.end.value == 0 ? frames : cut_frame(range.end, format.sampleRate());
  // Reached when the two ends are given in different units, or at a rate below 1000 Hz.
  if (endFrame <= startFrame) return job.fail(wav_texts::kStartBeforeEnd);
  const std::uint64_t resultFrames = std::min(endFrame, frames) - startFrame;
  // A result shorter than its two fades fades in over its first half and out over its second.
  const std::uint64_t fadeFrames = std::min(cut_frame({range.fadeMs}, format.sampleRate()), resultFrames / 2);

  const std::uint64_t frameBytes = format.bytesPerFrame();
  const std::uint64_t dataBytes = resultFrames * frameBytes;
  if (auto ended = job.copyHeader(format, dataBytes)) return *ended;
  std::uint64_t copiedFrames = 0;
  const auto copy = [&](const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::memcpy(out, in, count * frameBytes);
    // Only the frames of the two fades change; the rest of the result is the input's.
    const std::uint64_t blockEnd = copiedFrames + count;
    for (std::uint64_t frame = copiedFrames; frame < std::min(blockEnd, fadeFrames); ++frame) {
      fade_frame(out + (frame - copiedFrames) * frameBytes, format, fade_gain(frame, fadeFrames));
    }
    for (std::uint64_t frame = std::max(copiedFrames, resultFrames - fadeFrames); frame < blockEnd; ++frame) {
      fade_frame(out + (frame - copiedFrames) * frameBytes, format, fade_gain(resultFrames - 1 - frame, fadeFrames));
    }
    copiedFrames = blockEnd;
    return static_cast<std::size_t>(count * frameBytes);
  };
  const std::uint64_t begin = header->dataBegin + startFrame * frameBytes;
  if (auto ended = job.processFrames(begin, begin + dataBytes, frameBytes, dataBytes, copy)) return *ended;
  return job.finish(wav_texts::kCutFinished);
}

}  // namespace tunekiln
