// The audio input reader of Save to MP3 on bytes in memory: WAVE, AIFF and AIFC headers (with
// the sample rate's 80-bit number) and raw input, then every frame as the encoding loop reads it.
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

// The reader's warnings go nowhere; opened once, as the process's standard error would be.
std::FILE* null_stream() {
  static std::FILE* stream = std::fopen("/dev/null", "w");
  if (stream == nullptr) std::abort();
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  lame_t encoder = lame_init();
  if (encoder == nullptr) std::abort();
  lame_set_errorf(encoder, quiet);
  lame_set_msgf(encoder, quiet);
  lame_set_debugf(encoder, quiet);

  AudioInput input{.messages = null_stream()};
  auto source = std::make_unique<MemoryByteSource>(std::span<const std::uint8_t>(data, size));
  if (attach_audio_input(input, encoder, std::move(source), static_cast<std::int32_t>(size)) &&
      input.sampleRateUsable && lame_init_params(encoder) >= 0) {
    std::array<std::int32_t, kMaxFrameSamples> left{};
    std::array<std::int32_t, kMaxFrameSamples> right{};
    for (std::optional<std::size_t> samples; (samples = read_audio_frame(input, encoder, left, right)) && *samples > 0;) {
      if (*samples > kMaxFrameSamples) std::abort();
    }
  }
  close_audio_input(input);
  lame_close(encoder);
  return 0;
}
