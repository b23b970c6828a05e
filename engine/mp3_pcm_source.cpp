#include "engine/mp3_pcm_source.h"

#include <vector>

#include "audiofile/id3v2_tags.h"

namespace tunekiln {

std::unique_ptr<Mp3PcmSource> Mp3PcmSource::open(const OpenedFile& file, std::string& refusal) {
  auto format = PcmFormat::make(1, 1, SampleEncoding::signed16);
  std::unique_ptr<Mp3PcmSource> source(new Mp3PcmSource(file, *format));
  Mp3Decoder& decoder = source->decoder_;
  decoder.walkLengthInBackground(false);
  if (!decoder.open(file)) {
    refusal = decoder.refusal();
    return nullptr;
  }
  const StreamInfo info = decoder.getInfo();
  format =
      PcmFormat::make(static_cast<std::uint32_t>(info.sampleRate), info.stereo == 1 ? 2 : 1, SampleEncoding::signed16);
  const Mp3FrameWalk walk = decoder.walkFrames();
  if (!format || walk.result != AudioFileResult::ok || walk.frames == 0) {
    refusal = walk.result == AudioFileResult::readFailed ? "the file could not be read" : "";
    return nullptr;
  }
  source->format_ = *format;
  // The decoder hands out a Xing or Info frame's silence, too.
  source->frames_ = (walk.frames + (walk.tagFrame ? 1 : 0)) * (walk.samplesPerChannel / walk.frames);
  source->tags_ = read_id3v2_tags(*file.reader);
  return source;
}

FramesRead Mp3PcmSource::read(std::uint8_t* out, std::size_t count) {
  const std::size_t bytesPerFrame = format_.bytesPerFrame();
  std::size_t done = 0;
  while (done < count && !ended_) {
    std::size_t size = (count - done) * bytesPerFrame;
    const ReadResult result = decoder_.read(out + done * bytesPerFrame, size);
    done += size / bytesPerFrame;
    if (result == ReadResult::failed) return {done, AudioFileResult::readFailed};
    ended_ = result == ReadResult::end;
  }
  return {done, done == count ? AudioFileResult::ok : AudioFileResult::endOfData};
}

bool Mp3PcmSource::seek(std::uint64_t frame) {
  if (!decoder_.open(file_)) return false;
  ended_ = false;
  std::vector<std::uint8_t> skipped(4096 * format_.bytesPerFrame());
  for (std::uint64_t at = 0; at < frame;) {
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(frame - at, 4096));
    const FramesRead got = read(skipped.data(), step);
    at += got.frames;
    if (got.frames < step) return false;
  }
  return true;
}

}  // namespace tunekiln
