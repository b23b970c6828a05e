// The WAVE header reader and its chunk walker on one input in memory: every chunk is walked to
// the end of the input, and a header that reads must describe samples that lie inside it.
#include <optional>
#include <span>

#include "audiofile/wave_header.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using fuzz::check;
  const MemoryByteReader reader(std::span<const std::uint8_t>(data, size));
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
  if (!parse.header) return 0;
  const WaveHeader& header = *parse.header;
  check(header.dataBegin <= header.dataEnd && header.dataEnd <= size);
  check(header.format.bytesPerFrame() > 0 && header.format.bytesPerSecond() > 0);
  check(header.frameCount() * header.format.bytesPerFrame() <= header.dataBytes());
  return 0;
}
