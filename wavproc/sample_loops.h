#pragma once

#include <cstring>
#include <type_traits>

#include "audiofile/pcm_format.h"
#include "wavproc/wav_job.h"

// What the operations' sample loops share: one loop per encoding, each built with the encoding
// as a constant so that the compiler folds every width and limit out of it.
namespace tunekiln {

template <SampleEncoding kEncoding>
using EncodingConstant = std::integral_constant<SampleEncoding, kEncoding>;

// `make(EncodingConstant<e>{})` for the encoding `e` of the input.
template <typename Make>
FrameTransform for_encoding(SampleEncoding encoding, Make make) {
  switch (encoding) {
    case SampleEncoding::unsigned8:
      return make(EncodingConstant<SampleEncoding::unsigned8>{});
    case SampleEncoding::signed16:
      return make(EncodingConstant<SampleEncoding::signed16>{});
    case SampleEncoding::signed24:
      return make(EncodingConstant<SampleEncoding::signed24>{});
    case SampleEncoding::signed32:
      return make(EncodingConstant<SampleEncoding::signed32>{});
    case SampleEncoding::float32:
      return make(EncodingConstant<SampleEncoding::float32>{});
    case SampleEncoding::float64:
      return make(EncodingConstant<SampleEncoding::float64>{});
  }
  return {};
}

constexpr bool is_float(SampleEncoding encoding) {
  return encoding == SampleEncoding::float32 || encoding == SampleEncoding::float64;
}

// The arithmetic type of a float encoding: a float file is computed in its own precision.
template <SampleEncoding kEncoding>
using FloatSample = std::conditional_t<kEncoding == SampleEncoding::float32, float, double>;

template <typename Real>
Real load_real_sample(const std::uint8_t* p) {
  Real value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <typename Real>
void store_real_sample(std::uint8_t* p, Real value) {
  std::memcpy(p, &value, sizeof value);
}

}  // namespace tunekiln
