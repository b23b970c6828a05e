#pragma once

// The synthesis arithmetic: the DCT, the window and their roundings. Everything here has internal
// linkage on purpose: the AVX2 unit that includes it is compiled for AVX2 alone, and the linker
// must never hand its copy of a function to another unit.
#include "engine/mp3_synthesis.h"

#include <numbers>

namespace tunekiln::synthesis {
namespace {

// cos(pi i / 64) with 28 fraction bits, rounded to nearest, for i = 0..31: the DCT's multipliers.
// A series rather than std::cos, which not every compiler evaluates at compile time.
struct Cosines {
  std::int32_t value[32];
};
constexpr Cosines kCosines = [] {
  Cosines cosines{};
  for (int i = 0; i < 32; ++i) {
    const double x = std::numbers::pi * i / 64;
    double term = 1;
    double sum = 1;
    for (int n = 1; n < 20; ++n) {
      term *= -x * x / ((2 * n - 1) * (2 * n));
      sum += term;
    }
    cosines.value[i] = static_cast<std::int32_t>(sum * (1 << 28) + 0.5);
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
// `Value` is one 32-bit lane or several side by side; inlined whole, so the multipliers become
// constants and the halves' arrays registers.
template <int N, typename Value>
[[gnu::always_inline]] inline void dct(const Value* in, Value* out) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    constexpr int kHalf = N / 2;
    Value sums[kHalf];
    Value differences[kHalf];
    for (int n = 0; n < kHalf; ++n) {
      sums[n] = in[n] + in[N - 1 - n];
      differences[n] = scaled(in[n] - in[N - 1 - n], kCosines.value[(2 * n + 1) * 32 / N]);
    }
    Value even[kHalf];
    Value odd[kHalf];
    dct<kHalf>(sums, even);
    dct<kHalf>(differences, odd);
    for (int m = 0; m < kHalf; ++m) out[2 * m] = even[m];
    out[1] = odd[0];
    for (int m = 1; m < kHalf; ++m) out[2 * m + 1] = odd[m] + odd[m] - out[2 * m - 1];
  }
}

// The synthesis window in units of 2^-16 (every coefficient is a whole number of them). Row r
// holds the taps r, r + 32, ..., r + 480; the rows for r = 17..31 are those of 32 - r reversed and
// negated, which the mirrored outputs take care of.
constexpr std::int32_t kWindow[17][16] = {
    {0, -29, 213, -459, 2037, -5153, 6574, -37489, 75038, 37489, 6574, 5153, 2037, 459, 213, 29},
    {-1, -31, 218, -519, 2000, -5517, 5959, -39336, 74992, 35640, 7134, 4788, 2063, 401, 208, 26},
    {-1, -35, 222, -581, 1952, -5879, 5288, -41176, 74856, 33791, 7640, 4425, 2080, 347, 202, 24},
    {-1, -38, 225, -645, 1893, -6237, 4561, -43006, 74630, 31947, 8092, 4063, 2087, 294, 196, 21},
    {-1, -41, 227, -711, 1822, -6589, 3776, -44821, 74313, 30112, 8492, 3705, 2085, 244, 190, 19},
    {-1, -45, 228, -779, 1739, -6935, 2935, -46617, 73908, 28289, 8840, 3351, 2075, 197, 183, 17},
    {-1, -49, 228, -848, 1644, -7271, 2037, -48390, 73415, 26482, 9139, 3004, 2057, 153, 176, 16},
    {-2, -53, 227, -919, 1535, -7597, 1082, -50137, 72835, 24694, 9389, 2663, 2032, 111, 169, 14},
    {-2, -58, 224, -991, 1414, -7910, 70, -51853, 72169, 22929, 9592, 2330, 2001, 72, 161, 13},
    {-2, -63, 221, -1064, 1280, -8209, -998, -53534, 71420, 21189, 9750, 2006, 1962, 36, 154, 11},
    {-2, -68, 215, -1137, 1131, -8491, -2122, -55178, 70590, 19478, 9863, 1692, 1919, 2, 147, 10},
    {-3, -73, 208, -1210, 970, -8755, -3300, -56778, 69679, 17799, 9935, 1388, 1870, -29, 139, 9},
    {-3, -79, 200, -1283, 794, -8998, -4533, -58333, 68692, 16155, 9966, 1095, 1817, -57, 132, 8},
    {-4, -85, 189, -1356, 605, -9219, -5818, -59838, 67629, 14548, 9959, 814, 1759, -83, 125, 7},
    {-4, -91, 177, -1428, 402, -9416, -7154, -61289, 66494, 12980, 9916, 545, 1698, -106, 117, 7},
    {-5, -97, 163, -1498, 185, -9585, -8540, -62684, 65290, 11455, 9838, 288, 1634, -127, 111, 6},
    {-5, -104, 146, -1567, -45, -9727, -9975, -64019, 64019, 9975, 9727, 45, 1567, -146, 104, 5},
};

// The window by columns, so that one load brings a column's coefficients for consecutive output
// lanes; zero past lane 16, where vector loads read but never use.
struct WindowColumns {
  std::int32_t value[16][Mp3Synthesis::kRowStride];
};
constexpr WindowColumns kColumns = [] {
  WindowColumns columns{};
  for (int column = 0; column < 16; ++column)
    for (int lane = 0; lane <= 16; ++lane) columns.value[column][lane] = kWindow[lane][column];
  return columns;
}();

// Every product of a slot value (28 fraction bits) and a window coefficient (16 fraction bits) is
// cut back to 28 fraction bits on its own, rounding down, and the products add modulo 2^32. So the
// additions may come in any order, in any lanes, and the result stays the same in every bit.
inline std::uint32_t truncated_product(std::uint32_t value, std::int32_t coefficient) {
  return static_cast<std::uint32_t>((std::int64_t{static_cast<std::int32_t>(value)} * coefficient) >> 16);
}

// Output lane j (0..15) is the rising rows of this phase's bank weighed with one column, less the
// falling rows of the other bank weighed with another; its mirror, output 32 - j, adds the two with
// the mirrored columns (15 minus these). Output 16 comes from the falling rows' lane 16 alone.
struct Columns {
  int rising;
  int falling;
};
inline Columns columns_for(unsigned phase, unsigned slot) {
  const unsigned risingStart = phase & ~1u;
  const unsigned fallingStart = ((phase - 1) & 15) | 1;
  return {static_cast<int>((risingStart - 2 * slot) & 15), static_cast<int>((fallingStart - 2 * slot) & 15)};
}

}  // namespace
}  // namespace tunekiln::synthesis
