#include "engine/dither.h"

namespace tunekiln {
namespace {

// 32-bit signed sums that wrap around as the machine's registers do, without overflow in C++.
std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t wrapping_sub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

constexpr std::int32_t kLargest = 0x0FFFFFFF;   // just below 1.0
constexpr std::int32_t kSmallest = -0x10000000;  // -1.0
constexpr std::int32_t kDroppedBits = 0x1FFF;    // the 13 bits below the 16 that are kept

}  // namespace

DitherState leftDitherState;
DitherState rightDitherState;

void dither_to_16(DitherState& state, const mad_fixed_t* samples, std::size_t count, std::uint8_t* out,
                  std::size_t strideBytes) {
  // The state lives in locals for the loop, where the compiler can keep it in registers.
  std::int32_t error0 = state.error[0], error1 = state.error[1], error2 = state.error[2];
  std::uint32_t random = state.random;
  for (std::size_t i = 0; i < count; ++i, out += strideBytes) {
    std::int32_t shaped = wrapping_add(wrapping_sub(wrapping_add(samples[i], error0), error1), error2);
    error2 = error1;
    error1 = error0 / 2;

    const std::uint32_t next = random * 1664525u + 1013904223u;
    std::int32_t dithered = wrapping_add(shaped, 4096);
    dithered = wrapping_add(dithered, static_cast<std::int32_t>(next & kDroppedBits));
    dithered = wrapping_sub(dithered, static_cast<std::int32_t>(random & kDroppedBits));
    random = next;

    if (dithered > kLargest) {
      dithered = kLargest;
      if (shaped > kLargest) shaped = kLargest;
    } else if (dithered < kSmallest) {
      dithered = kSmallest;
      if (shaped < kSmallest) shaped = kSmallest;
    }
    const std::int32_t quantised = dithered & ~kDroppedBits;
    error0 = wrapping_sub(shaped, quantised);

    const auto sample = static_cast<std::uint16_t>(quantised >> 13);
    out[0] = static_cast<std::uint8_t>(sample);
    out[1] = static_cast<std::uint8_t>(sample >> 8);
  }
  state.error[0] = error0;
  state.error[1] = error1;
  state.error[2] = error2;
  state.random = random;
}

}  // namespace tunekiln
