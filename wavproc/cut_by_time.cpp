#include <algorithm>
#include <cstring>

#include "wavproc/cut_dialog_logic.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {

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

  const std::uint64_t frameBytes = format.bytesPerFrame();
  const std::uint64_t dataBytes = (std::min(endFrame, frames) - startFrame) * frameBytes;
  if (auto ended = job.copyHeader(format, dataBytes)) return *ended;
  const auto copy = [frameBytes](const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::memcpy(out, in, count * frameBytes);
    return static_cast<std::size_t>(count * frameBytes);
  };
  const std::uint64_t begin = header->dataBegin + startFrame * frameBytes;
  if (auto ended = job.processFrames(begin, begin + dataBytes, frameBytes, dataBytes, copy)) return *ended;
  return job.finish(wav_texts::kCutFinished);
}

}  // namespace tunekiln
