#include "audiofile/wave_header.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace tunekiln {
namespace {

constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagFloat = 0x0003;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::uint32_t kPlainFormatBytes = 16;
constexpr std::uint32_t kExtensibleFormatBytes = 40;
// The fourteen bytes that follow the tag in every subformat GUID of the KSDATAFORMAT family.
constexpr std::array<std::uint8_t, 14> kSubformatTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::optional<SampleEncoding> encoding_of(std::uint16_t tag, std::uint16_t bits) {
  if (tag == kTagPcm) return integer_encoding(bits);
  if (tag == kTagFloat && bits == 32) return SampleEncoding::float32;
  if (tag == kTagFloat && bits == 64) return SampleEncoding::float64;
  return std::nullopt;
}

// Reads the `fmt ` body into `fields`; damaged when it is too short for what it claims.
AudioFileResult read_format_fields(const ByteReader& reader, const RiffChunk& chunk, WaveFormatFields& fields) {
  if (chunk.size < kPlainFormatBytes) return AudioFileResult::damaged;
  std::array<std::uint8_t, kExtensibleFormatBytes> body{};
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size, body.size()));
  const auto got = reader.readAt(chunk.bodyOffset(), body.data(), wanted);
  if (got.status == AudioFileResult::readFailed) return got.status;
  if (got.status != AudioFileResult::ok) return AudioFileResult::damaged;
  fields.formatTag = load_le16(body.data());
  fields.channels = load_le16(body.data() + 2);
  fields.sampleRate = load_le32(body.data() + 4);
  fields.bitsPerSample = load_le16(body.data() + 14);
  if (fields.formatTag != kTagExtensible) return AudioFileResult::ok;
  fields.extensible = true;
  if (wanted < kExtensibleFormatBytes) return AudioFileResult::damaged;
  const bool knownFamily = std::equal(kSubformatTail.begin(), kSubformatTail.end(), body.begin() + 26);
  fields.formatTag = knownFamily ? load_le16(body.data() + 24) : 0;
  return AudioFileResult::ok;
}

bool is_info_list(const ByteReader& reader, const RiffChunk& chunk) {
  std::uint8_t kind[4];
  return chunk.is("LIST") && chunk.size >= 4 && reader.readExactly(chunk.bodyOffset(), kind, 4) &&
         chunk_id_is(kind, "INFO");
}

}  // namespace

WaveParse read_wave_header(const ByteReader& reader, std::uint64_t start) {
  WaveParse parse;
  std::optional<RiffWalker> walker;
  parse.result = RiffWalker::open(reader, start, walker);
  if (parse.result != AudioFileResult::ok) return parse;

  std::optional<RiffChunk> fmt, data, ds64, info, fact, junk;
  RiffChunk chunk;
  AudioFileResult walked;
  while (!(fmt && data) && (walked = walker->next(chunk)) == AudioFileResult::ok) {
    if (chunk.is("fmt ") && !fmt) {
      fmt = chunk;
      parse.result = read_format_fields(reader, chunk, parse.fields);
      if (parse.result != AudioFileResult::ok) return parse;
    } else if (chunk.is("data") && !data) {
      data = chunk;
    } else if (chunk.is("ds64")) {
      ds64 = chunk;
    } else if (chunk.is("fact") && !data && !fact) {
      fact = chunk;
    } else if (chunk.is("JUNK") && chunk.offset == start + 12) {
      junk = chunk;
    } else if (!data && !info && is_info_list(reader, chunk)) {
      info = chunk;
    }
  }
  if (!(fmt && data)) {
    parse.result = walked == AudioFileResult::readFailed ? walked : AudioFileResult::damaged;
    return parse;
  }

  const auto encoding = encoding_of(parse.fields.formatTag, parse.fields.bitsPerSample);
  if (!encoding) {
    parse.result = AudioFileResult::unsupportedEncoding;
    return parse;
  }
  const auto format = PcmFormat::make(parse.fields.sampleRate, parse.fields.channels, *encoding);
  if (!format) {
    parse.result = AudioFileResult::damaged;  // no rate or no channels: nothing to play
    return parse;
  }

  const std::uint64_t fileSize = reader.size();
  const std::uint64_t dataBegin = data->bodyOffset();
  const bool runsToEnd = data->size == 0 || data->size > fileSize || dataBegin + data->size > fileSize;
  parse.header = WaveHeader{.form = walker->form(),
                            .format = *format,
                            .fmt = *fmt,
                            .data = *data,
                            .ds64 = ds64,
                            .info = info,
                            .fact = fact,
                            .junk = junk,
                            .dataBegin = std::min(dataBegin, fileSize),
                            .dataEnd = runsToEnd ? fileSize : dataBegin + data->size};
  parse.result = AudioFileResult::ok;
  return parse;
}

std::string describe_wave_encoding(const WaveFormatFields& fields) {
  std::string kind;
  switch (fields.formatTag) {
    case kTagPcm:
      kind = std::to_string(fields.bitsPerSample) + "-bit PCM";
      break;
    case kTagFloat:
      kind = std::to_string(fields.bitsPerSample) + "-bit float";
      break;
    case 0x0002:
      kind = "Microsoft ADPCM";
      break;
    case 0x0006:
      kind = "A-law";
      break;
    case 0x0007:
      kind = "mu-law";
      break;
    case 0x0011:
      kind = "IMA ADPCM";
      break;
    case 0x0055:
      kind = "MPEG layer 3";
      break;
    default: {
      char tag[8];
      std::snprintf(tag, sizeof tag, "0x%04X", fields.formatTag);
      kind = std::string("encoding ") + tag;
    }
  }
  return kind + " in a " + std::to_string(fields.channels) + "-channel file";
}

std::uint64_t id3v2_tag_end(const ByteReader& reader) {
  std::uint8_t head[10];
  if (!reader.readExactly(0, head, sizeof head) || std::memcmp(head, "ID3", 3) != 0) return 0;
  // Four seven-bit bytes of size, behind a ten-byte header.
  return (((std::uint64_t{head[6]} << 7 | head[7]) << 7 | head[8]) << 7 | head[9]) + 10u;
}

}  // namespace tunekiln
