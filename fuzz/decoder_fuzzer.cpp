// What the player reads, on one input in memory. The WAVE header reader, its chunk walker and
// the LIST/INFO tag reader: every chunk is walked to the end of the input, and a header that
// reads must describe samples that lie inside it. Then the WAV and MP3 decoders, handed the
// input through their source openers: open, getInfo, reads of changing sizes to the end, and
// seeks to places the input's first bytes choose, inside, at and beyond the end. The Xing
// header parser also gets the raw bytes, so it is reached without a frame.
#include <memory>
#include <optional>
#include <span>

#include "audiofile/info_tags.h"
#include "audiofile/wave_header.h"
#include "engine/mp3_decoder.h"
#include "engine/mp3_stream_scan.h"
#include "engine/wav_decoder.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using fuzz::check;
  const std::span<const std::uint8_t> bytes(data, size);
  const MemoryByteReader reader(bytes);
  read_info_tags(reader);
  const std::uint64_t start = id3v2_tag_end(reader);
  // Each chunk starts behind the one before, so the walk ends.
  std::optional<RiffWalker> walker;
  if (RiffWalker::open(reader, start, walker) == AudioFileResult::ok) {
    RiffChunk chunk;
    for (std::uint64_t next = 0; walker->next(chunk) == AudioFileResult::ok; next = chunk.offset + 1) {
      check(chunk.offset >= next && chunk.offset < size);
    }
  }
  const WaveParse parse = read_wave_header(reader, start);
  describe_wave_encoding(parse.fields);
  check((parse.result == AudioFileResult::ok) == parse.header.has_value());
  if (const auto& header = parse.header) {
    check(header->dataBegin <= header->dataEnd && header->dataEnd <= size);
    check(header->format.bytesPerFrame() > 0 && header->format.bytesPerSecond() > 0);
    check(header->frameCount() * header->format.bytesPerFrame() <= header->dataBytes());
  }

  XingHeader xing;
  mad_bitptr bits;
  mad_bit_init(&bits, data);
  xing_parse(xing, bits, static_cast<unsigned int>(size * 8));

  const std::uint32_t numerator = size > 0 ? data[0] : 0, denominator = size > 1 ? data[1] : 0;
  const std::pair<std::uint32_t, std::uint32_t> seeks[] = {
      {numerator, denominator}, {1, 2}, {1, 1}, {3, 2}, {0, 1}, {0xFFFFFFFF, 1}};
  WavDecoder wav([bytes](const std::string&) { return std::make_unique<MemoryByteReader>(bytes); });
  if (wav.open("memory")) {
    const StreamInfo info = wav.getInfo();
    check(info.lengthSeconds >= 0 && info.sampleRate > 0);
    const std::uint64_t whole = fuzz::read_to_end(wav, true);
    check(whole <= size);  // no encoding comes out wider than it is stored
    for (const auto& [n, d] : seeks) {
      wav.seek(n, d);
      check(fuzz::read_to_end(wav, true) <= whole);
    }
    wav.close();
  }
  Mp3Decoder mp3([bytes](const std::string&) { return input_over(std::make_unique<MemoryByteReader>(bytes)); });
  if (!mp3.open("memory")) return 0;
  fuzz::read_to_end(mp3, false);
  for (const auto& [n, d] : seeks) {
    mp3.seek(n, d);
    fuzz::read_to_end(mp3, false);
  }
  return 0;
}
