#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audiofile/file_identity.h"
#include "audiofile/pcm_source.h"

struct sf_private_tag;

namespace tunekiln {

// FLAC, Ogg Vorbis and Ogg Opus files through libsndfile, which reads them from the open
// ByteReader. FLAC keeps its integer width; Vorbis and Opus, which decode to reals, give 32-bit
// float. Nothing else libsndfile could read is let through: MPEG audio stays with libmad.
class SoundFileReader final : public PcmSource {
 public:
  struct Opened {
    std::unique_ptr<SoundFileReader> reader;
    AudioFileResult result = AudioFileResult::ok;  // ok, readFailed, damaged or unsupported*
    std::string reason;                            // for a reason line, when refused
  };
  static Opened open(std::shared_ptr<const ByteReader> bytes, const FileIdentity& identity);

  SoundFileReader(const SoundFileReader&) = delete;
  SoundFileReader& operator=(const SoundFileReader&) = delete;
  ~SoundFileReader() override;

  const PcmFormat& format() const override { return format_; }
  std::uint64_t frames() const override { return frames_; }
  FramesRead read(std::uint8_t* out, std::size_t count) override;
  bool seek(std::uint64_t frame) override;
  InfoTags tags() const override;
  bool whole() const override { return whole_; }

 private:
  struct Bytes {
    std::shared_ptr<const ByteReader> reader;
    std::uint64_t position = 0;
    bool failed = false;  // a read of the input failed, as opposed to ending
  };

  SoundFileReader(std::unique_ptr<Bytes> bytes, PcmFormat format) : bytes_(std::move(bytes)), format_(format) {}

  std::unique_ptr<Bytes> bytes_;  // where libsndfile's callbacks read; its address stays put
  sf_private_tag* file_ = nullptr;
  PcmFormat format_;
  std::uint64_t frames_ = 0;
  bool whole_ = true;
  std::vector<int> integers_;  // FLAC samples as libsndfile hands them, full scale at 2^31
};

}  // namespace tunekiln
