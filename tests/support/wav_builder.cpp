#include "tests/support/wav_builder.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tunekiln::test {
namespace {

void put16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

void put64(Bytes& out, std::uint64_t value) {
  put32(out, static_cast<std::uint32_t>(value));
  put32(out, static_cast<std::uint32_t>(value >> 32));
}

void put_id(Bytes& out, const char id[4]) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}

}  // namespace

Bytes make_chunk(const char id[4], const Bytes& body) {
  Bytes chunk;
  put_id(chunk, id);
  put32(chunk, static_cast<std::uint32_t>(body.size()));
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

Bytes make_wav(const WavShape& shape, const Bytes& samples) {
  const std::uint32_t blockAlign = shape.channels * shape.bits / 8u;
  Bytes format;
  put16(format, shape.extensible ? 0xFFFE : shape.formatTag);
  put16(format, shape.channels);
  put32(format, shape.sampleRate);
  put32(format, shape.sampleRate * blockAlign);
  put16(format, blockAlign);
  put16(format, shape.bits);
  if (shape.extensible) {
    put16(format, 22);  // the extension's size
    put16(format, shape.bits);
    put32(format, shape.channels == 2 ? 3 : 4);  // front left and right, or front centre
    put16(format, shape.formatTag);
    for (const std::uint8_t byte : {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
      format.push_back(byte);
    }
  } else if (shape.extensionSizeField) {
    put16(format, 0);
  }

  const std::uint64_t dataSize = shape.declaredDataSize.value_or(static_cast<std::uint32_t>(samples.size()));
  Bytes body;
  put_id(body, "WAVE");
  if (shape.rf64) {
    put_id(body, "ds64");
    put32(body, 28);
    put64(body, 0);  // the RIFF size, patched in at the end
    put64(body, dataSize);
    put64(body, samples.size() / std::max(1u, blockAlign));
    put32(body, 0);  // no table
  }
  body.insert(body.end(), shape.chunksBeforeFormat.begin(), shape.chunksBeforeFormat.end());
  const Bytes formatChunk = make_chunk("fmt ", format);
  if (!shape.formatBehindData) body.insert(body.end(), formatChunk.begin(), formatChunk.end());
  body.insert(body.end(), shape.chunksBeforeData.begin(), shape.chunksBeforeData.end());
  put_id(body, "data");
  put32(body, shape.rf64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(dataSize));
  body.insert(body.end(), samples.begin(), samples.end());
  if (shape.formatBehindData) body.insert(body.end(), formatChunk.begin(), formatChunk.end());
  body.insert(body.end(), shape.bytesAfterData.begin(), shape.bytesAfterData.end());

  Bytes file;
  put_id(file, shape.rf64 ? "RF64" : "RIFF");
  put32(file, shape.rf64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  if (shape.rf64) {
    const auto riffSize = static_cast<std::uint32_t>(body.size());
    for (int i = 0; i < 4; ++i) file[20 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
  }
  return file;
}

Bytes make_info_list(std::initializer_list<std::pair<const char*, std::string>> entries) {
  Bytes body;
  put_id(body, "INFO");
  for (const auto& [id, text] : entries) {
    Bytes value(text.begin(), text.end());
    value.push_back(0);
    const Bytes chunk = make_chunk(id, value);
    body.insert(body.end(), chunk.begin(), chunk.end());
    if (chunk.size() % 2 != 0) body.push_back(0);  // pad byte
  }
  return make_chunk("LIST", body);
}

namespace {

void put_be(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes be_chunk(const char* id, const Bytes& body) {
  Bytes out(id, id + 4);
  put_be(out, body.size(), 4);
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2 != 0) out.push_back(0);  // pad byte
  return out;
}

}  // namespace

Bytes make_aiff(const AiffShape& shape, const Bytes& samples) {
  Bytes common;
  put_be(common, static_cast<std::uint16_t>(shape.channels), 2);
  put_be(common, samples.size() / static_cast<std::size_t>(std::max(1, shape.channels * ((shape.sampleSize + 7) / 8))), 4);
  put_be(common, static_cast<std::uint16_t>(shape.sampleSize), 2);
  if (std::isinf(shape.sampleRate)) {
    common.insert(common.end(), {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0});
  } else {  // the 80-bit extended form
    const int exponent = std::ilogb(shape.sampleRate);
    put_be(common, static_cast<std::uint64_t>(16383 + exponent), 2);
    put_be(common, static_cast<std::uint64_t>(std::ldexp(shape.sampleRate, 63 - exponent)), 8);
  }
  if (std::string(shape.formType) == "AIFC") {
    common.insert(common.end(), shape.compression, shape.compression + 4);
    common.insert(common.end(), {0, 0});  // an empty name, padded to an even length
  }
  Bytes sound(4, 0);  // block offset
  put_be(sound, shape.blockSize, 4);
  sound.insert(sound.end(), samples.begin(), samples.end());
  Bytes body(shape.formType, shape.formType + 4);
  for (const Bytes& chunk : shape.soundBeforeCommon ? std::vector{be_chunk("SSND", sound), be_chunk("COMM", common)}
                                                    : std::vector{be_chunk("COMM", common), be_chunk("SSND", sound)}) {
    body.insert(body.end(), chunk.begin(), chunk.end());
  }
  return be_chunk("FORM", body);
}

Bytes samples16(std::initializer_list<std::int32_t> values) {
  Bytes out;
  for (const auto value : values) put16(out, static_cast<std::uint32_t>(value) & 0xFFFF);
  return out;
}

Bytes ramp_bytes(std::size_t count) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return out;
}

std::uint16_t le16(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

std::uint32_t le32(const Bytes& bytes, std::size_t offset) {
  return le16(bytes, offset) | static_cast<std::uint32_t>(le16(bytes, offset + 2)) << 16;
}

}  // namespace tunekiln::test
