#include "engine/mp3_synthesis_window.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tunekiln::synthesis_window {
namespace {

using ChannelBank = Mp3Synthesis::ChannelBank;
constexpr int kStride = Mp3Synthesis::kRowStride;

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
constexpr auto kColumns = [] {
  std::array<std::array<std::int32_t, kStride>, 16> columns{};
  for (int column = 0; column < 16; ++column)
    for (int lane = 0; lane <= 16; ++lane) columns[column][lane] = kWindow[lane][column];
  return columns;
}();

}  // namespace

// Output lane j (0..15) is the rising rows of this phase's bank weighed with one column, less the
// falling rows of the other bank weighed with another; its mirror, output 32 - j, adds the two with
// the mirrored columns. Output 16 comes from the falling rows' lane 16 alone.
void window_portable(const ChannelBank& bank, unsigned phase, mad_fixed_t* pcm) {
  std::uint32_t direct[16] = {};
  std::uint32_t mirrored[16] = {};
  std::uint32_t middle = 0;
  for (unsigned slot = 0; slot < 8; ++slot) {
    const auto [rising, falling] = columns_for(phase, slot);
    const std::uint32_t* risingRow = bank[phase & 1][slot].rising;
    const std::uint32_t* fallingRow = bank[~phase & 1][slot].falling;
    for (int lane = 0; lane < 16; ++lane) {
      direct[lane] += truncated_product(risingRow[lane], kColumns[rising][lane]) -
                      truncated_product(fallingRow[lane], kColumns[falling][lane]);
      mirrored[lane] += truncated_product(risingRow[lane], kColumns[15 - rising][lane]) +
                        truncated_product(fallingRow[lane], kColumns[15 - falling][lane]);
    }
    middle += truncated_product(fallingRow[16], kColumns[falling][16]);
  }
  for (int lane = 0; lane < 16; ++lane) pcm[lane] = static_cast<mad_fixed_t>(direct[lane]);
  for (int lane = 1; lane < 16; ++lane) pcm[32 - lane] = static_cast<mad_fixed_t>(mirrored[lane]);
  pcm[16] = static_cast<mad_fixed_t>(0u - middle);
}

#if defined(__x86_64__)

namespace {

// Truncated products of the even lanes of `values` and `coefficients`, each in the low half of a
// 64-bit lane (the high halves hold what the low halves' sums do not need). Loading one lane further
// on brings the odd lanes into the even places.
__attribute__((target("avx2"))) inline __m256i products(const std::uint32_t* values, const std::int32_t* coefficients) {
  const __m256i wide = _mm256_mul_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(values)),
                                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients)));
  return _mm256_srli_epi64(wide, 16);
}

// Eight 32-bit sums from the low halves of the even-lane and odd-lane accumulators.
__attribute__((target("avx2"))) inline __m256i interleave(__m256i evenLanes, __m256i oddLanes) {
  return _mm256_blend_epi32(evenLanes, _mm256_slli_epi64(oddLanes, 32), 0xAA);
}

__attribute__((target("avx2"))) void window_avx2(const ChannelBank& bank, unsigned phase, mad_fixed_t* pcm) {
  // [lanes 0..7 or 8..15][even or odd lanes]
  __m256i direct[2][2];
  __m256i mirrored[2][2];
  for (int half = 0; half < 2; ++half)
    for (int parity = 0; parity < 2; ++parity) direct[half][parity] = mirrored[half][parity] = _mm256_setzero_si256();
  std::uint32_t middle = 0;
  for (unsigned slot = 0; slot < 8; ++slot) {
    const auto [rising, falling] = columns_for(phase, slot);
    const std::uint32_t* risingRow = bank[phase & 1][slot].rising;
    const std::uint32_t* fallingRow = bank[~phase & 1][slot].falling;
    for (int half = 0; half < 2; ++half) {
      for (int parity = 0; parity < 2; ++parity) {
        const int lane = 8 * half + parity;
        const __m256i risingTerms = products(risingRow + lane, kColumns[rising].data() + lane);
        const __m256i fallingTerms = products(fallingRow + lane, kColumns[falling].data() + lane);
        direct[half][parity] =
            _mm256_add_epi64(direct[half][parity], _mm256_sub_epi64(risingTerms, fallingTerms));
        const __m256i risingMirrored = products(risingRow + lane, kColumns[15 - rising].data() + lane);
        const __m256i fallingMirrored = products(fallingRow + lane, kColumns[15 - falling].data() + lane);
        mirrored[half][parity] =
            _mm256_add_epi64(mirrored[half][parity], _mm256_add_epi64(risingMirrored, fallingMirrored));
      }
    }
    middle += truncated_product(fallingRow[16], kColumns[falling][16]);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(pcm), interleave(direct[0][0], direct[0][1]));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(pcm + 8), interleave(direct[1][0], direct[1][1]));
  // The mirrored lanes go out in reverse order, to 31 down to 17; lane 0 has no output.
  const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  const __m256i upper = _mm256_permutevar8x32_epi32(interleave(mirrored[1][0], mirrored[1][1]), reverse);
  const __m256i lower = _mm256_permutevar8x32_epi32(interleave(mirrored[0][0], mirrored[0][1]), reverse);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(pcm + 17), upper);
  _mm256_maskstore_epi32(pcm + 25, _mm256_setr_epi32(-1, -1, -1, -1, -1, -1, -1, 0), lower);
  pcm[16] = static_cast<mad_fixed_t>(0u - middle);
}

}  // namespace

Mp3Synthesis::WindowFunction fastest_window() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? window_avx2 : window_portable;
}

#else

Mp3Synthesis::WindowFunction fastest_window() { return window_portable; }

#endif

}  // namespace tunekiln::synthesis_window
