// The audio input reader of Save to MP3 on bytes in memory: RIFF, RF64 and BW64 WAVE headers in
// every encoding, AIFF and AIFC headers (with the sample rate's 80-bit number), the refusal of
// MP3, FLAC and Ogg files, raw input, then every frame as the encoding loop reads and encodes it.
#include <lame/lame.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <span>

#include "encoder/audio_input.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using fuzz::check;
  lame_t encoder = lame_init();
  check(encoder != nullptr);
  const auto quiet = [](const char*, va_list) {};
  lame_set_errorf(encoder, quiet);
  lame_set_msgf(encoder, quiet);
  lame_set_debugf(encoder, quiet);
  // The reader's warnings go nowhere; opened once, as the process's standard error would be.
  static std::FILE* const nowhere = std::fopen("/dev/null", "w");
  check(nowhere != nullptr);
  AudioInput input{.messages = nowhere};
  auto source = std::make_unique<MemoryByteSource>(std::span<const std::uint8_t>(data, size));
  if (attach_audio_input(input, encoder, std::move(source), static_cast<std::int32_t>(size)) &&
      input.sampleRateUsable && lame_init_params(encoder) >= 0) {
    // Each frame goes through the encoder too, so that what the reader hands it (a float
    // file's extremes included) is checked by the library's own use of it.
    FrameSamples f;
    constexpr int kRoom = 16384;
    static unsigned char mp3[kRoom];
    for (std::optional<std::size_t> n; (n = read_audio_frame(input, encoder, f)) && *n > 0;) {
      check(*n <= kMaxFrameSamples);
      const int count = static_cast<int>(*n);
      const int bytes =
          input.realSamples()
              ? lame_encode_buffer_ieee_float(encoder, f.realLeft.data(), f.realRight.data(), count, mp3, kRoom)
              : lame_encode_buffer_int(encoder, f.left.data(), f.right.data(), count, mp3, kRoom);
      // -1 is the library's "buffer too small", which a header's absurd rate (1 Hz, resampled to
      // thousands of times the samples) can bring about; the command reports it as a failure.
      if (bytes == -1) break;
      check(bytes >= 0);
    }
  }
  close_audio_input(input);
  lame_close(encoder);
  return 0;
}
