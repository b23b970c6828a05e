#include "encoder/byte_order.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {
namespace {

TEST(ByteOrderReaders, ReadBothOrdersAndFillTheEndWithOnes) {
  const Bytes bytes{0x01, 0x02, 0x03, 0x04, 0xFE, 0xFF, 0x7F};
  MemoryByteSource source(bytes);
  EXPECT_EQ(read_int32_le(source), 0x04030201);
  source.seek(0, SeekOrigin::begin);
  EXPECT_EQ(read_int32_be(source), 0x01020304);
  EXPECT_EQ(read_int16_le(source), -2);
  EXPECT_EQ(read_int16_be(source), 0x7FFF) << "one byte left, then the end";
  EXPECT_EQ(read_int16_le(source), -1);
  EXPECT_EQ(static_cast<std::uint32_t>(read_int32_be(source)), 0xFFFFFFFFu);
}

TEST(IeeeExtended, ConvertsAiffSampleRates) {
  using Ten = std::array<std::uint8_t, 10>;
  EXPECT_EQ(ieee_extended_to_double(Ten{0x40, 0x0E, 0xAC, 0x44}), 44100.0);
  EXPECT_EQ(ieee_extended_to_double(Ten{0xC0, 0x0B, 0xFA}), -8000.0);
  EXPECT_EQ(ieee_extended_to_double(Ten{0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 1}), 1.0 + std::ldexp(1.0, -63));
  EXPECT_EQ(ieee_extended_to_double(Ten{}), 0.0);
  EXPECT_TRUE(std::isinf(ieee_extended_to_double(Ten{0x7F, 0xFF})));
}

}  // namespace
}  // namespace tunekiln::test
