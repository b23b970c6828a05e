#include "encoder/byte_order.h"

#include <cmath>

namespace tunekiln {
namespace {

std::uint32_t read_byte(ByteSource& source) {
  std::uint8_t byte = 0xFF;  // what the end of the input reads as
  source.read(&byte, 1);
  return byte;
}

std::uint32_t big_endian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

}  // namespace

std::int16_t read_int16_le(ByteSource& source) {
  const std::uint32_t low = read_byte(source);
  return static_cast<std::int16_t>(low | read_byte(source) << 8);
}

std::int16_t read_int16_be(ByteSource& source) {
  const std::uint32_t high = read_byte(source);
  return static_cast<std::int16_t>(high << 8 | read_byte(source));
}

std::int32_t read_int32_le(ByteSource& source) {
  const auto low = static_cast<std::uint16_t>(read_int16_le(source));
  const auto high = static_cast<std::uint16_t>(read_int16_le(source));
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(high) << 16 | low);
}

std::int32_t read_int32_be(ByteSource& source) {
  const auto high = static_cast<std::uint16_t>(read_int16_be(source));
  const auto low = static_cast<std::uint16_t>(read_int16_be(source));
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(high) << 16 | low);
}

std::size_t read_bytes(ByteSource& source, std::uint8_t* buffer, std::size_t count) {
  return source.read(buffer, count);
}

double read_ieee_extended_be(ByteSource& source) {
  std::array<std::uint8_t, 10> bytes{};
  read_bytes(source, bytes.data(), bytes.size());
  return ieee_extended_to_double(bytes);
}

double ieee_extended_to_double(const std::array<std::uint8_t, 10>& bytes) {
  const int exponent = (bytes[0] & 0x7F) << 8 | bytes[1];
  const std::uint32_t highMantissa = big_endian32(&bytes[2]);
  const std::uint32_t lowMantissa = big_endian32(&bytes[6]);
  double value = 0;
  if (exponent == 0 && highMantissa == 0 && lowMantissa == 0) {
    value = 0;
  } else if (exponent == 0x7FFF) {
    value = HUGE_VAL;
  } else {
    value = std::ldexp(highMantissa, exponent - 16383 - 31) + std::ldexp(lowMantissa, exponent - 16383 - 63);
  }
  return (bytes[0] & 0x80) != 0 ? -value : value;
}

}  // namespace tunekiln
