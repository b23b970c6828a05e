#include <algorithm>
#include <cstring>

#include "wavproc/cut_dialog_logic.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {

Outcome CutByTime(WavProcessHost& host) {
  WavJob job(host);
  if (auto ended = job.open()) return *ended;
  const std::uint16_t bits = job.inputField16(34);
  if (bits != 8 && bits != 16) return job.fail(wav_texts::kOnly8Or16Bits);
  if (!host.askCutTimes()) return job.cancel();
  const std::uint64_t byteRate = job.inputField32(28);
  if (auto ended = job.findData(32)) return *ended;
  const std::uint64_t blockAlign = job.inputField16(22) * (bits / 8u);
  if (byteRate == 0 || blockAlign == 0) return job.fail(wav_texts::kNotSupported);

  // Whole frames of the data only: a cut never starts inside a frame nor takes header bytes.
  const std::uint64_t dataBegin = job.headerLength();
  const std::uint64_t dataBytes = job.dataEnd() - dataBegin;
  const auto frameOffset = [&](std::uint64_t seconds) {
    return std::min(seconds * byteRate, dataBytes) / blockAlign * blockAlign;
  };
  const std::uint64_t begin = dataBegin + frameOffset(g_cutStartSeconds);
  const std::uint64_t end = dataBegin + (g_cutEndSeconds == 0 ? dataBytes / blockAlign * blockAlign
                                                              : frameOffset(g_cutEndSeconds));
  if (auto ended = job.copyHeader()) return *ended;

  const auto copy = [blockAlign](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
    std::memcpy(out, in, frames * blockAlign);
    return static_cast<std::size_t>(frames * blockAlign);
  };
  const std::uint64_t span = end > begin ? end - begin : 0;
  if (auto ended = job.processFrames(begin, std::max(begin, end), blockAlign, span, copy)) return *ended;
  return job.finish(wav_texts::kCutFinished);
}

}  // namespace tunekiln
