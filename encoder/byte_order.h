#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoder/byte_source.h"

// Header fields in either byte order, read byte by byte. A byte beyond the end of the input
// reads as 0xFF, so a 16-bit field there is -1 and a 32-bit field 0xFFFFFFFF.
namespace tunekiln {

std::int16_t read_int16_le(ByteSource& source);
std::int16_t read_int16_be(ByteSource& source);
std::int32_t read_int32_le(ByteSource& source);
std::int32_t read_int32_be(ByteSource& source);
// Up to `count` bytes, fewer at the end of the input.
std::size_t read_bytes(ByteSource& source, std::uint8_t* buffer, std::size_t count);
// An 80-bit extended-precision number, high byte first, as AIFF stores its sample rate.
double read_ieee_extended_be(ByteSource& source);

double ieee_extended_to_double(const std::array<std::uint8_t, 10>& bytes);

// A chunk identifier as read_int32_be delivers it: its four characters in file order.
constexpr std::int32_t chunk_id(const char (&text)[5]) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[0])) << 24 |
                                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[1])) << 16 |
                                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[2])) << 8 |
                                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[3])));
}

}  // namespace tunekiln
