// The audio input reader of Save to MP3 on bytes in memory: RIFF, RF64 and BW64 WAVE headers in
// every encoding, AIFF and AIFC headers (with the sample rate's 80-bit number), the refusal of
// MP3, FLAC and Ogg files, raw input, then every frame as the encoding loop reads and encodes it.
#include <lame/lame.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

#include "encoder/audio_input.h"

namespace {

void quiet(const char*, va_list) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  lame_t encoder = lame_init();
  if (encoder == nullptr) std::abort();
  lame_set_errorf(encoder, quiet);
  lame_set_msgf(encoder, quiet);
  lame_set_debugf(encoder, quiet);

  // The reader's warnings go nowhere; opened once, as the process's standard error would be.
  static std::FILE* const nowhere = std::fopen("/dev/null", "w");
  if (nowhere == nullptr) std::abort();
  AudioInput input{.messages = nowhere};
  auto source = std::make_unique<MemoryByteSource>(std::span<const std::uint8_t>(data, size));
  if (attach_audio_input(input, encoder, std::move(source), static_cast<std::int32_t>(size)) &&
      input.sampleRateUsable && lame_init_params(encoder) >= 0) {
    // Each frame goes through the encoder too, so that what the reader hands it (a float
    // file's extremes included) is checked by the library's own use of it.
    FrameSamples frame;
    std::array<unsigned char, 16384> mp3;
    for (std::optional<std::size_t> samples; (samples = read_audio_frame(input, encoder, frame)) && *samples > 0;) {
      if (*samples > kMaxFrameSamples) std::abort();
      const int count = static_cast<int>(*samples);
      const int room = static_cast<int>(mp3.size());
      const int bytes = input.realSamples() ? lame_encode_buffer_ieee_float(encoder, frame.realLeft.data(),
                                                                            frame.realRight.data(), count, mp3.data(), room)
                                            : lame_encode_buffer_int(encoder, frame.left.data(), frame.right.data(), count,
                                                                     mp3.data(), room);
      // -1 is the library's "buffer too small", which a header's absurd rate (1 Hz, resampled to
      // thousands of times the samples) can bring about; the command reports it as a failure.
      if (bytes == -1) break;
      if (bytes < 0) std::abort();
    }
  }
  close_audio_input(input);
  lame_close(encoder);
  return 0;
}
