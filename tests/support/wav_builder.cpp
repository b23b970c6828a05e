#include "tests/support/wav_builder.h"

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
  put16(format, shape.formatTag);
  put16(format, shape.channels);
  put32(format, shape.sampleRate);
  put32(format, shape.byteRate.value_or(shape.sampleRate * blockAlign));
  put16(format, blockAlign);
  put16(format, shape.bits);
  if (shape.extensionSizeField) put16(format, 0);

  Bytes body;
  put_id(body, "WAVE");
  const Bytes formatChunk = make_chunk("fmt ", format);
  body.insert(body.end(), formatChunk.begin(), formatChunk.end());
  body.insert(body.end(), shape.chunksBeforeData.begin(), shape.chunksBeforeData.end());
  put_id(body, "data");
  put32(body, shape.declaredDataSize.value_or(static_cast<std::uint32_t>(samples.size())));
  body.insert(body.end(), samples.begin(), samples.end());
  body.insert(body.end(), shape.bytesAfterData.begin(), shape.bytesAfterData.end());

  Bytes file;
  put_id(file, "RIFF");
  put32(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
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
