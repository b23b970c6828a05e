#pragma once

#include <mad.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "engine/decoder.h"
#include "engine/input_source.h"
#include "engine/mp3_stream_scan.h"

namespace tunekiln {

// MPEG audio through libmad, as dithered 16-bit PCM. An ID3v2 tag in front is skipped; the
// length comes from a Xing frame count or is estimated from the bitrate and refined as frames
// are decoded. A WAVE or AIFF file is refused, whatever its samples look like.
class Mp3Decoder final : public Decoder {
 public:
  using SourceOpener = std::function<std::unique_ptr<InputSource>(const std::string& name)>;

  explicit Mp3Decoder(SourceOpener openSource = input_open);
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;
  ~Mp3Decoder() override;

  bool open(const std::string& name) override;
  void close() override;
  void seek(std::uint32_t numerator, std::uint32_t denominator) override;
  StreamInfo getInfo() override;
  ReadResult read(std::uint8_t* buffer, std::size_t& size) override;
  std::int32_t getPosition() override;

 private:
  static constexpr std::uint32_t kBufferBytes = 40000;

  // Keeps the undecoded end of the buffer and reads behind it: more when bytes came.
  ReadResult refill();
  // Hands out `count` samples per channel of the last synthesised frame.
  void convert(std::size_t count, std::uint8_t* out);

  SourceOpener openSource_;
  std::unique_ptr<InputSource> source_;
  std::uint32_t fileSize_ = 0;  // the whole file, ID3v2 tag included
  XingHeader xing_;
  mad_stream stream_;
  mad_frame frame_;
  mad_synth synth_;
  std::uint32_t consumed_ = 0;  // samples per channel of the synth output already handed out
  mad_timer_t position_;
  mad_timer_t duration_;
  std::uint32_t kbpsSum_ = 0;
  std::uint32_t frameCount_ = 0;
  StreamInfo info_;
  std::array<unsigned char, kBufferBytes> buffer_;
  std::uint32_t fill_ = 0;
};

}  // namespace tunekiln
