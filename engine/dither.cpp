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

// One channel's dither in locals for a loop, where the compiler can keep it in registers.
class Shaper {
 public:
  explicit Shaper(const DitherState& state)
      : error0_(state.error[0]), error1_(state.error[1]), error2_(state.error[2]), random_(state.random) {}

  void store(DitherState& state) const {
    state.error[0] = error0_;
    state.error[1] = error1_;
    state.error[2] = error2_;
    state.random = random_;
  }

  // The next sample as 16-bit little-endian at `out`.
  void put(mad_fixed_t sample, std::uint8_t* out) {
    std::int32_t shaped = wrapping_add(wrapping_sub(wrapping_add(sample, error0_), error1_), error2_);
    error2_ = error1_;
    error1_ = error0_ / 2;

    const std::uint32_t next = random_ * 1664525u + 1013904223u;
    std::int32_t dithered = wrapping_add(shaped, 4096);
    dithered = wrapping_add(dithered, static_cast<std::int32_t>(next & kDroppedBits));
    dithered = wrapping_sub(dithered, static_cast<std::int32_t>(random_ & kDroppedBits));
    random_ = next;

    if (dithered > kLargest) {
      dithered = kLargest;
      if (shaped > kLargest) shaped = kLargest;
    } else if (dithered < kSmallest) {
      dithered = kSmallest;
      if (shaped < kSmallest) shaped = kSmallest;
    }
    const std::int32_t quantised = dithered & ~kDroppedBits;
    error0_ = wrapping_sub(shaped, quantised);

    const auto value = static_cast<std::uint16_t>(quantised >> 13);
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
  }

 private:
  std::int32_t error0_, error1_, error2_;
  std::uint32_t random_;
};

}  // namespace

DitherState leftDitherState;
DitherState rightDitherState;

void dither_to_16(DitherState& state, const mad_fixed_t* samples, std::size_t count, std::uint8_t* out,
                  std::size_t strideBytes) {
  Shaper shaper(state);
  for (std::size_t i = 0; i < count; ++i, out += strideBytes) shaper.put(samples[i], out);
  shaper.store(state);
}

void dither_stereo_to_16(const mad_fixed_t* left, const mad_fixed_t* right, std::size_t count, std::uint8_t* out,
                         DitherState& leftState, DitherState& rightState) {
  Shaper leftShaper(leftState), rightShaper(rightState);
  for (std::size_t i = 0; i < count; ++i, out += 4) {
    leftShaper.put(left[i], out);
    rightShaper.put(right[i], out + 2);
  }
  leftShaper.store(leftState);
  rightShaper.store(rightState);
}

}  // namespace tunekiln
