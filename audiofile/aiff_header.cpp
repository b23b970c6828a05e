#include "audiofile/aiff_header.h"

#include <algorithm>
#include <cmath>

#include "audiofile/riff_walker.h"

namespace tunekiln {
namespace {

constexpr std::size_t kCommonBytes = 18;        // channels, frames, sample size, rate
constexpr std::size_t kCompressedCommonBytes = 22;  // and the compression type
constexpr std::size_t kSoundFieldBytes = 8;     // block offset and block size

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

AudioFileResult read_common(const ByteReader& reader, std::uint64_t body, std::uint32_t size, AiffFields& fields) {
  const std::size_t needed = fields.compressedForm ? kCompressedCommonBytes : kCommonBytes;
  if (size < needed) return AudioFileResult::damaged;
  std::uint8_t bytes[kCompressedCommonBytes];
  const auto status = reader.readAt(body, bytes, needed).status;
  if (status != AudioFileResult::ok) return status == AudioFileResult::readFailed ? status : AudioFileResult::damaged;
  fields.channels = static_cast<std::int16_t>(load_be16(bytes));
  fields.sampleFrames = load_be32(bytes + 2);
  fields.sampleSize = static_cast<std::int16_t>(load_be16(bytes + 6));
  fields.sampleRate = ieee_extended_to_double(bytes + 8);
  if (fields.compressedForm) std::copy_n(bytes + 18, 4, fields.compression.begin());
  return AudioFileResult::ok;
}

}  // namespace

AiffParse read_aiff_header(const ByteReader& reader, std::uint64_t start) {
  AiffParse parse;
  std::uint8_t form[12];
  const auto got = reader.readAt(start, form, sizeof form);
  if (got.status == AudioFileResult::readFailed) {
    parse.result = got.status;
    return parse;
  }
  if (got.status != AudioFileResult::ok || !chunk_id_is(form, "FORM") ||
      !(chunk_id_is(form + 8, "AIFF") || chunk_id_is(form + 8, "AIFC"))) {
    return parse;
  }

  AiffHeader header;
  header.fields.compressedForm = chunk_id_is(form + 8, "AIFC");
  const std::uint64_t formEnd = start + 8 + load_be32(form + 4);
  bool common = false, sound = false;
  parse.result = AudioFileResult::damaged;
  // Every chunk moves the walk on by at least its eight-byte header, so it ends.
  for (std::uint64_t position = start + sizeof form; !(common && sound) && position < formEnd;) {
    std::uint8_t chunk[8 + kSoundFieldBytes];
    const auto status = reader.readAt(position, chunk, 8).status;
    if (status == AudioFileResult::readFailed) parse.result = status;
    if (status != AudioFileResult::ok) return parse;
    const std::uint32_t size = load_be32(chunk + 4);
    const std::uint64_t body = position + 8;
    if (chunk_id_is(chunk, "COMM") && !common) {
      const auto read = read_common(reader, body, size, header.fields);
      if (read != AudioFileResult::ok) {
        parse.result = read;
        return parse;
      }
      common = true;
    } else if (chunk_id_is(chunk, "SSND") && !sound) {
      const auto fields = reader.readAt(body, chunk + 8, kSoundFieldBytes).status;
      if (fields == AudioFileResult::readFailed) parse.result = fields;
      if (fields != AudioFileResult::ok) return parse;
      header.blockOffset = load_be32(chunk + 8);
      header.blockSize = load_be32(chunk + 12);
      header.soundBegin = saturating_add(body + kSoundFieldBytes, header.blockOffset);
      sound = true;
    }
    position = saturating_add(body, std::uint64_t{size} + (size & 1u));
  }
  if (!(common && sound)) return parse;
  parse.result = AudioFileResult::ok;
  parse.header = header;
  return parse;
}

double ieee_extended_to_double(const std::uint8_t* bytes) {
  const int exponent = (bytes[0] & 0x7F) << 8 | bytes[1];
  const std::uint32_t highMantissa = load_be32(bytes + 2);
  const std::uint32_t lowMantissa = load_be32(bytes + 6);
  double value = 0;
  if (exponent == 0x7FFF) {
    value = HUGE_VAL;
  } else if (exponent != 0 || highMantissa != 0 || lowMantissa != 0) {
    value = std::ldexp(highMantissa, exponent - 16383 - 31) + std::ldexp(lowMantissa, exponent - 16383 - 63);
  }
  return (bytes[0] & 0x80) != 0 ? -value : value;
}

}  // namespace tunekiln
