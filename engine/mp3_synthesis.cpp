#include "engine/mp3_synthesis.h"

#include <array>
#include <cstring>
#include <numbers>

#include "engine/mp3_synthesis_window.h"

namespace tunekiln {
namespace {

// cos(pi i / 64) with 28 fraction bits, rounded to nearest, for i = 0..31: the DCT's multipliers.
// A series rather than std::cos, which not every compiler evaluates at compile time.
constexpr auto kCosines = [] {
  std::array<std::int32_t, 32> cosines{};
  for (int i = 0; i < 32; ++i) {
    const double x = std::numbers::pi * i / 64;
    double term = 1;
    double sum = 1;
    for (int n = 1; n < 20; ++n) {
      term *= -x * x / ((2 * n - 1) * (2 * n));
      sum += term;
    }
    cosines[i] = static_cast<std::int32_t>(sum * (1 << 28) + 0.5);
  }
  return cosines;
}();

// A product with a multiplier, cut back to 28 fraction bits by rounding down.
inline std::uint32_t scaled(std::uint32_t value, std::int32_t cosine) {
  return static_cast<std::uint32_t>((std::int64_t{static_cast<std::int32_t>(value)} * cosine) >> 28);
}

// The DCT-II X[k] = sum of x[n] cos(pi (2n + 1) k / 2N), by halving. The even outputs are the DCT of
// the folded sums x[n] + x[N-1-n]; the odd ones come from the DCT B of the folded differences weighed
// with cos(pi (2n + 1) / 2N), as X[1] = B[0] and X[2m+1] = 2 B[m] - X[2m-1]. Sums wrap modulo 2^32,
// so only the products' roundings are the arithmetic's own, and they are made in this order.
template <int N>
void dct(const std::uint32_t* in, std::uint32_t* out) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    constexpr int kHalf = N / 2;
    std::uint32_t sums[kHalf];
    std::uint32_t differences[kHalf];
    for (int n = 0; n < kHalf; ++n) {
      sums[n] = in[n] + in[N - 1 - n];
      differences[n] = scaled(in[n] - in[N - 1 - n], kCosines[(2 * n + 1) * 32 / N]);
    }
    std::uint32_t even[kHalf];
    std::uint32_t odd[kHalf];
    dct<kHalf>(sums, even);
    dct<kHalf>(differences, odd);
    for (int m = 0; m < kHalf; ++m) out[2 * m] = even[m];
    out[1] = odd[0];
    for (int m = 1; m < kHalf; ++m) out[2 * m + 1] = 2 * odd[m] - out[2 * m - 1];
  }
}

}  // namespace

Mp3Synthesis::Mp3Synthesis(Windowing windowing)
    : window_(windowing == Windowing::fastest ? synthesis_window::fastest_window()
                                              : synthesis_window::window_portable) {
  mute();
}

void Mp3Synthesis::mute() { std::memset(banks_, 0, sizeof banks_); }

void Mp3Synthesis::synthesise(const mad_frame& frame) {
  const unsigned channels = MAD_NCHANNELS(&frame.header);
  const unsigned slots = MAD_NSBSAMPLES(&frame.header);
  pcm_.samplerate = frame.header.samplerate;
  pcm_.channels = static_cast<unsigned short>(channels);
  pcm_.length = static_cast<unsigned short>(32 * slots);

  for (unsigned channel = 0; channel < channels; ++channel) {
    unsigned phase = phase_;
    for (unsigned s = 0; s < slots; ++s) {
      std::uint32_t subbands[32];
      std::uint32_t outputs[32];
      std::memcpy(subbands, frame.sbsample[channel][s], sizeof subbands);
      dct<32>(subbands, outputs);
      Slot& slot = banks_[channel][phase & 1][phase >> 1];
      for (int j = 0; j < 16; ++j) slot.rising[j] = outputs[16 + j];
      for (int j = 0; j <= 16; ++j) slot.falling[j] = outputs[16 - j];
      window_(banks_[channel], phase, &pcm_.samples[channel][32 * s]);
      phase = (phase + 1) % 16;
    }
  }
  phase_ = (phase_ + slots) % 16;
}

}  // namespace tunekiln
