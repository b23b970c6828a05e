#pragma once

#include <memory>

#include "audiofile/file_identity.h"
#include "audiofile/pcm_source.h"
#include "engine/mp3_decoder.h"

namespace tunekiln {

// An MP3 file's samples as the engine's decoder gives them, 16 bits dithered, for the readers of
// WAVE files. The length is counted by a walk over the frame headers; a seek decodes again from
// the start, as only that gives the same samples.
class Mp3PcmSource final : public PcmSource {
 public:
  // Nothing when the decoder refuses the file; `refusal` then says why, when it can.
  static std::unique_ptr<Mp3PcmSource> open(const OpenedFile& file, std::string& refusal);

  const PcmFormat& format() const override { return format_; }
  std::uint64_t frames() const override { return frames_; }
  FramesRead read(std::uint8_t* out, std::size_t count) override;
  bool seek(std::uint64_t frame) override;
  InfoTags tags() const override { return tags_; }

 private:
  Mp3PcmSource(OpenedFile file, PcmFormat format) : file_(std::move(file)), format_(format) {}

  OpenedFile file_;
  Mp3Decoder decoder_;
  PcmFormat format_;
  std::uint64_t frames_ = 0;
  InfoTags tags_;
  bool ended_ = false;
};

}  // namespace tunekiln
