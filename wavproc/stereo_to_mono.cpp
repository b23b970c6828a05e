#include "wavproc/stereo_to_mono.h"

#include "wavproc/wav_texts.h"

namespace tunekiln {

OperationResult run_stereo_to_mono(WavProcessHost& host, const ByteReader* input, const StereoToMonoRule& rule,
                                   std::string_view finishMessage, const StereoCheck& beforeWriting) {
  WavJob job(host, input);
  if (auto ended = job.open()) return *ended;
  if (job.stated().channels != 2) return job.refuse(wav_texts::kMustBeStereo);
  const WaveHeader* header = job.header();
  if (!header) return job.refuse(wav_texts::kUnsupportedEncoding);

  if (beforeWriting) {
    if (auto ended = beforeWriting(job, *header)) return *ended;
  }
  const PcmFormat& stereo = header->format;
  const PcmFormat mono = *PcmFormat::make(stereo.sampleRate(), 1, stereo.encoding());
  const std::uint64_t frames = header->frameCount();
  if (auto ended = job.copyHeader(mono, frames * mono.bytesPerFrame())) return *ended;
  if (auto ended = job.processFrames(header->dataBegin, header->dataBegin + frames * stereo.bytesPerFrame(),
                                     stereo.bytesPerFrame(), job.inputLength(), rule(stereo.encoding()))) {
    return *ended;
  }
  return job.finish(finishMessage);
}

}  // namespace tunekiln
