#include "engine/mp3_synthesis.h"

#include <cstring>

#include "engine/mp3_synthesis_arithmetic.h"

namespace tunekiln {
namespace synthesis {
namespace {

void window_portable(const Mp3Synthesis::ChannelBank& bank, unsigned phase, mad_fixed_t* pcm) {
  std::uint32_t direct[16] = {};
  std::uint32_t mirrored[16] = {};
  std::uint32_t middle = 0;
  for (unsigned slot = 0; slot < 8; ++slot) {
    const auto [rising, falling] = columns_for(phase, slot);
    const std::uint32_t* risingRow = bank[phase & 1][slot].rising;
    const std::uint32_t* fallingRow = bank[~phase & 1][slot].falling;
    const std::int32_t* risingColumn = kColumns.value[rising];
    const std::int32_t* fallingColumn = kColumns.value[falling];
    const std::int32_t* risingMirror = kColumns.value[15 - rising];
    const std::int32_t* fallingMirror = kColumns.value[15 - falling];
    for (int lane = 0; lane < 16; ++lane) {
      direct[lane] += truncated_product(risingRow[lane], risingColumn[lane]) -
                      truncated_product(fallingRow[lane], fallingColumn[lane]);
      mirrored[lane] += truncated_product(risingRow[lane], risingMirror[lane]) +
                        truncated_product(fallingRow[lane], fallingMirror[lane]);
    }
    middle += truncated_product(fallingRow[16], fallingColumn[16]);
  }
  for (int lane = 0; lane < 16; ++lane) pcm[lane] = static_cast<mad_fixed_t>(direct[lane]);
  for (int lane = 1; lane < 16; ++lane) pcm[32 - lane] = static_cast<mad_fixed_t>(mirrored[lane]);
  pcm[16] = static_cast<mad_fixed_t>(0u - middle);
}

}  // namespace

void synthesise_channel_portable(Mp3Synthesis::ChannelBank& bank, unsigned phase, const mad_fixed_t (*subbands)[32],
                                 unsigned slots, mad_fixed_t* pcm) {
  for (unsigned s = 0; s < slots; ++s, phase = (phase + 1) % 16) {
    std::uint32_t inputs[32];
    std::uint32_t outputs[32];
    std::memcpy(inputs, subbands[s], sizeof inputs);
    dct<32>(inputs, outputs);
    Mp3Synthesis::Slot& slot = bank[phase & 1][phase >> 1];
    for (int j = 0; j < 16; ++j) slot.rising[j] = outputs[16 + j];
    for (int j = 0; j <= 16; ++j) slot.falling[j] = outputs[16 - j];
    window_portable(bank, phase, pcm + 32 * s);
  }
}

}  // namespace synthesis

namespace {

Mp3Synthesis::ChannelSynthesis fastest_channel_synthesis() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return synthesis::synthesise_channel_avx2;
#endif
  return synthesis::synthesise_channel_portable;
}

}  // namespace

Mp3Synthesis::Mp3Synthesis(Path path)
    : synthesiseChannel_(path == Path::fastest ? fastest_channel_synthesis() : synthesis::synthesise_channel_portable) {
  mute();
}

void Mp3Synthesis::mute() { std::memset(banks_, 0, sizeof banks_); }

void Mp3Synthesis::synthesise(const mad_frame& frame) {
  const unsigned channels = MAD_NCHANNELS(&frame.header);
  const unsigned slots = MAD_NSBSAMPLES(&frame.header);
  pcm_.samplerate = frame.header.samplerate;
  pcm_.channels = static_cast<unsigned short>(channels);
  pcm_.length = static_cast<unsigned short>(32 * slots);
  for (unsigned channel = 0; channel < channels; ++channel)
    synthesiseChannel_(banks_[channel], phase_, frame.sbsample[channel], slots, pcm_.samples[channel]);
  phase_ = (phase_ + slots) % 16;
}

}  // namespace tunekiln
