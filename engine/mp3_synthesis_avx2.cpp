// The synthesis in AVX2 lanes: the DCTs of eight slots side by side, then each slot's window in
// lanes of output samples. Only this unit is compiled for AVX2, and Mp3Synthesis calls it only
// on a processor that has it.
#include <immintrin.h>

#include "engine/mp3_synthesis_arithmetic.h"

namespace tunekiln::synthesis {
namespace {

using ChannelBank = Mp3Synthesis::ChannelBank;

// One 32-bit value for each of eight slots, with the arithmetic the DCT needs.
struct Lanes {
  __m256i value;
};
inline Lanes operator+(Lanes a, Lanes b) { return {_mm256_add_epi32(a.value, b.value)}; }
inline Lanes operator-(Lanes a, Lanes b) { return {_mm256_sub_epi32(a.value, b.value)}; }
// scaled() in every lane: the full products of the even lanes and of the odd ones, each cut to
// its bits 28..59 and put back in its lane.
inline Lanes scaled(Lanes values, std::int32_t cosine) {
  const __m256i multiplier = _mm256_set1_epi32(cosine);
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epi32(values.value, multiplier), 28);
  const __m256i odd = _mm256_slli_epi64(_mm256_mul_epi32(_mm256_srli_epi64(values.value, 32), multiplier), 4);
  return {_mm256_blend_epi32(even, odd, 0xAA)};
}

inline __m256i load(const void* from) { return _mm256_loadu_si256(static_cast<const __m256i*>(from)); }
inline void store(void* to, __m256i value) { _mm256_storeu_si256(static_cast<__m256i*>(to), value); }

// Turns eight rows of eight lanes into eight columns.
inline void transpose(__m256i rows[8]) {
  __m256i pairs[8];
  for (int i = 0; i < 8; i += 2) {
    pairs[i] = _mm256_unpacklo_epi32(rows[i], rows[i + 1]);
    pairs[i + 1] = _mm256_unpackhi_epi32(rows[i], rows[i + 1]);
  }
  __m256i quads[8];
  for (int i = 0; i < 8; i += 4) {
    quads[i] = _mm256_unpacklo_epi64(pairs[i], pairs[i + 2]);
    quads[i + 1] = _mm256_unpackhi_epi64(pairs[i], pairs[i + 2]);
    quads[i + 2] = _mm256_unpacklo_epi64(pairs[i + 1], pairs[i + 3]);
    quads[i + 3] = _mm256_unpackhi_epi64(pairs[i + 1], pairs[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    rows[i] = _mm256_permute2x128_si256(quads[i], quads[i + 4], 0x20);
    rows[i + 4] = _mm256_permute2x128_si256(quads[i], quads[i + 4], 0x31);
  }
}

// Truncated products of the even lanes of `values` and `coefficients`, each in the low half of a
// 64-bit lane (the high halves hold what the low halves' sums do not need). Loading one lane further
// on brings the odd lanes into the even places.
inline __m256i products(const std::uint32_t* values, const std::int32_t* coefficients) {
  return _mm256_srli_epi64(_mm256_mul_epi32(load(values), load(coefficients)), 16);
}

// Eight 32-bit sums from the low halves of the even-lane and odd-lane accumulators.
inline __m256i interleave(__m256i evenLanes, __m256i oddLanes) {
  return _mm256_blend_epi32(evenLanes, _mm256_slli_epi64(oddLanes, 32), 0xAA);
}

// One slot's window, sixteen output lanes at a time.
void window(const ChannelBank& bank, unsigned phase, mad_fixed_t* pcm) {
  __m256i direct[2][2];  // [lanes 0..7 or 8..15][even or odd lanes]
  __m256i mirrored[2][2];
  for (int half = 0; half < 2; ++half)
    for (int parity = 0; parity < 2; ++parity) direct[half][parity] = mirrored[half][parity] = _mm256_setzero_si256();
  std::uint32_t middle = 0;
  for (unsigned slot = 0; slot < 8; ++slot) {
    const auto [rising, falling] = columns_for(phase, slot);
    const std::uint32_t* risingRow = bank[phase & 1][slot].rising;
    const std::uint32_t* fallingRow = bank[~phase & 1][slot].falling;
    // Unrolled, so that the accumulators stay in registers.
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
#pragma GCC unroll 2
      for (int parity = 0; parity < 2; ++parity) {
        const int lane = 8 * half + parity;
        const __m256i risingTerms = products(risingRow + lane, kColumns.value[rising] + lane);
        const __m256i fallingTerms = products(fallingRow + lane, kColumns.value[falling] + lane);
        direct[half][parity] = _mm256_add_epi64(direct[half][parity], _mm256_sub_epi64(risingTerms, fallingTerms));
        const __m256i risingMirrored = products(risingRow + lane, kColumns.value[15 - rising] + lane);
        const __m256i fallingMirrored = products(fallingRow + lane, kColumns.value[15 - falling] + lane);
        mirrored[half][parity] =
            _mm256_add_epi64(mirrored[half][parity], _mm256_add_epi64(risingMirrored, fallingMirrored));
      }
    }
    middle += truncated_product(fallingRow[16], kColumns.value[falling][16]);
  }
  store(pcm, interleave(direct[0][0], direct[0][1]));
  store(pcm + 8, interleave(direct[1][0], direct[1][1]));
  // The mirrored lanes go out in reverse order, to 31 down to 17; lane 0 has no output.
  const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  const __m256i upper = _mm256_permutevar8x32_epi32(interleave(mirrored[1][0], mirrored[1][1]), reverse);
  const __m256i lower = _mm256_permutevar8x32_epi32(interleave(mirrored[0][0], mirrored[0][1]), reverse);
  store(pcm + 17, upper);
  _mm256_maskstore_epi32(pcm + 25, _mm256_setr_epi32(-1, -1, -1, -1, -1, -1, -1, 0), lower);
  pcm[16] = static_cast<mad_fixed_t>(0u - middle);
}

}  // namespace

}  // namespace tunekiln::synthesis

namespace tunekiln {

void Mp3Synthesis::synthesiseChannel(ChannelBank& bank, unsigned phase, const mad_fixed_t (*subbands)[32],
                                     unsigned slots, mad_fixed_t* pcm) {
  using namespace synthesis;
  const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  for (unsigned first = 0; first < slots; first += 8) {
    // Lanes past the frame's last slot repeat it, and their outputs are not kept.
    const unsigned count = slots - first < 8 ? slots - first : 8;
    Lanes inputs[32];
    for (int block = 0; block < 4; ++block) {
      __m256i rows[8];
      for (unsigned lane = 0; lane < 8; ++lane)
        rows[lane] = load(subbands[first + (lane < count ? lane : count - 1)] + 8 * block);
      transpose(rows);
      for (int i = 0; i < 8; ++i) inputs[8 * block + i] = {rows[i]};
    }
    Lanes outputs[32];
    dct<32>(inputs, outputs);
    __m256i bySlot[4][8];  // [outputs 0..7, 8..15, 16..23, 24..31][slot]
    for (int block = 0; block < 4; ++block) {
      for (int i = 0; i < 8; ++i) bySlot[block][i] = outputs[8 * block + i].value;
      transpose(bySlot[block]);
    }
    // Each slot's rows are kept just before its window, which still reads the later slots' old rows.
    for (unsigned lane = 0; lane < count; ++lane, phase = (phase + 1) % 16) {
      Slot& slot = bank[phase & 1][phase >> 1];
      store(slot.rising, bySlot[2][lane]);
      store(slot.rising + 8, bySlot[3][lane]);
      slot.falling[0] = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(bySlot[2][lane]));
      store(slot.falling + 1, _mm256_permutevar8x32_epi32(bySlot[1][lane], reverse));
      store(slot.falling + 9, _mm256_permutevar8x32_epi32(bySlot[0][lane], reverse));
      window(bank, phase, pcm + 32 * (first + lane));
    }
  }
}

}  // namespace tunekiln
