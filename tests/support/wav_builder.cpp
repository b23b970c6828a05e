#include "tests/support/wav_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tunekiln::test {
namespace {

// Little-endian fields: each a value and its width in bytes.
void put_le(Bytes& out, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
  for (const auto& [value, bytes] : fields) {
    for (int i = 0; i < bytes; ++i) out.push_back(value >> (8 * i));
  }
}

void put_be(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(value >> (8 * i));
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes be_chunk(const char* id, const Bytes& body) {
  Bytes out(id, id + 4);
  put_be(out, body.size(), 4);
  append(out, body);
  if (body.size() % 2 != 0) out.push_back(0);  // pad byte
  return out;
}

}  // namespace

Bytes make_chunk(const char id[4], const Bytes& body) {
  Bytes chunk(id, id + 4);
  put_le(chunk, {{body.size(), 4}});
  append(chunk, body);
  return chunk;
}

Bytes make_wav(const WavShape& shape, const Bytes& samples) {
  const std::uint32_t blockAlign = shape.channels * shape.bits / 8u;
  Bytes format;
  const std::uint32_t tag = shape.extensible ? 0xFFFE : shape.formatTag;
  put_le(format, {{tag, 2}, {shape.channels, 2}, {shape.sampleRate, 4}, {shape.sampleRate * blockAlign, 4},
                  {blockAlign, 2}, {shape.bits, 2}});
  if (shape.extensible) {
    // The extension's size, the valid bits, front left and right or front centre, then the
    // subformat's GUID, which starts with the format tag.
    put_le(format, {{22, 2}, {shape.bits, 2}, {shape.channels == 2 ? 3 : 4, 4}, {shape.formatTag, 2}});
    append(format, {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  }
  const std::uint64_t dataSize = shape.declaredDataSize.value_or(samples.size());
  Bytes body = {'W', 'A', 'V', 'E'};
  if (shape.rf64) {  // the RIFF size is patched in at the end; no table
    append(body, {'d', 's', '6', '4'});
    put_le(body, {{28, 4}, {0, 8}, {dataSize, 8}, {samples.size() / std::max(1u, blockAlign), 8}, {0, 4}});
  }
  append(body, shape.chunksBeforeFormat);
  append(body, make_chunk("fmt ", format));
  append(body, shape.chunksBeforeData);
  append(body, {'d', 'a', 't', 'a'});
  put_le(body, {{shape.rf64 ? 0xFFFFFFFF : dataSize, 4}});
  append(body, samples);
  append(body, shape.bytesAfterData);

  Bytes file = make_chunk(shape.rf64 ? "RF64" : "RIFF", body);
  if (shape.rf64) {  // the real size goes to ds64, the 32-bit one says "see ds64"
    std::copy_n(file.begin() + 4, 4, file.begin() + 20);
    std::fill_n(file.begin() + 4, 4, 0xFF);
  }
  return file;
}

Bytes encode_samples(const WavShape& shape, const std::vector<double>& values) {
  Bytes out;
  for (const double value : values) {
    const auto narrow = static_cast<float>(value);
    std::uint64_t bits = 0;
    if (shape.formatTag == 3) {
      std::memcpy(&bits, shape.bits == 32 ? static_cast<const void*>(&narrow) : &value, shape.bits / 8);
    } else {
      bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(value) + (shape.bits == 8 ? 128 : 0));
    }
    put_le(out, {{bits, shape.bits / 8}});
  }
  return out;
}

Bytes make_info_list(std::initializer_list<std::pair<const char*, std::string>> entries) {
  Bytes body = {'I', 'N', 'F', 'O'};
  for (const auto& [id, text] : entries) {
    Bytes value(text.begin(), text.end());
    value.push_back(0);
    append(body, make_chunk(id, value));
    if (value.size() % 2 != 0) body.push_back(0);  // pad byte
  }
  return make_chunk("LIST", body);
}

Bytes make_aiff(const AiffShape& shape, const Bytes& samples) {
  Bytes common;
  put_be(common, shape.channels, 2);
  const int frameBytes = std::max(1, shape.channels * ((shape.sampleSize + 7) / 8));
  put_be(common, samples.size() / frameBytes, 4);
  put_be(common, shape.sampleSize, 2);
  if (std::isinf(shape.sampleRate)) {
    common.insert(common.end(), {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0});
  } else {  // the 80-bit extended form
    const int exponent = std::ilogb(shape.sampleRate);
    put_be(common, 16383 + exponent, 2);
    put_be(common, std::ldexp(shape.sampleRate, 63 - exponent), 8);
  }
  if (std::string(shape.formType) == "AIFC") {
    common.insert(common.end(), shape.compression, shape.compression + 4);
    common.insert(common.end(), {0, 0});  // an empty name, padded to an even length
  }
  Bytes sound(4, 0);  // block offset
  put_be(sound, shape.blockSize, 4);
  append(sound, samples);
  Bytes body(shape.formType, shape.formType + 4);
  const Bytes commonChunk = be_chunk("COMM", common), soundChunk = be_chunk("SSND", sound);
  append(body, shape.soundBeforeCommon ? soundChunk : commonChunk);
  append(body, shape.soundBeforeCommon ? commonChunk : soundChunk);
  return be_chunk("FORM", body);
}

Bytes samples16(std::initializer_list<std::int32_t> values) {
  return encode_samples({}, {values.begin(), values.end()});
}

Bytes ramp_bytes(std::size_t count) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = i * 7 + i / 256;
  return out;
}

std::uint16_t le16(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

std::uint32_t le32(const Bytes& bytes, std::size_t offset) {
  return le16(bytes, offset) | static_cast<std::uint32_t>(le16(bytes, offset + 2)) << 16;
}

}  // namespace tunekiln::test
