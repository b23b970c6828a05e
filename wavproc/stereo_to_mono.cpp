#include "wavproc/stereo_to_mono.h"

#include "wavproc/wav_texts.h"

namespace tunekiln {

Outcome run_stereo_to_mono(WavProcessHost& host, const StereoToMonoRule& rule, std::string_view finishMessage) {
  WavJob job(host);
  if (auto ended = job.open()) return *ended;
  if (job.inputField16(22) != 2) return job.fail(wav_texts::kMustBeStereo);
  const std::uint16_t bits = job.inputField16(34);
  if (bits != 8 && bits != 16) return job.fail(wav_texts::kOnly8Or16Bits);
  if (auto ended = job.findData(36)) return *ended;
  if (auto ended = job.copyHeader()) return *ended;

  const auto sampleBytes = static_cast<std::uint16_t>(bits / 8);
  job.rewriteField16(22, 1);
  job.rewriteField32(28, sampleBytes * job.inputField32(24));
  job.rewriteField16(32, sampleBytes);
  const auto& transform = bits == 16 ? rule.sixteenBit : rule.eightBit;
  if (auto ended = job.processFrames(job.headerLength(), job.dataEnd(), 2u * sampleBytes, job.inputLength(), transform)) {
    return *ended;
  }
  return job.finish(finishMessage);
}

}  // namespace tunekiln
