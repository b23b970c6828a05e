// Decoding in chunks on several threads against one decoder running through, byte for byte,
// on clean files of each MPEG version and mode and on damaged ones.
#include <gtest/gtest.h>

#include "audiofile/mp3_frame_walk.h"
#include "engine/dither.h"
#include "engine/mp3_chunked_decode.h"
#include "engine/mp3_decoder.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"

namespace tunekiln::test {
namespace {

// The whole file through the decoder, the dither from its start; reads from `failFrom` on fail.
Decoded decode(const Bytes& file, unsigned int threads, std::uint64_t failFrom = UINT64_MAX / 2) {
  Mp3Decoder decoder;
  decoder.decodeOnThreads(threads);
  leftDitherState = rightDitherState = {};
  EXPECT_TRUE(decoder.open(opened_from(std::make_shared<FailingReader>(file, failFrom))));
  return decode_all(decoder, 3000);  // reads that end inside frames
}

// Whether every chunk decoded clean: the threads did the work, or handed it back.
bool every_chunk_clean(const Bytes& file) {
  const MemoryByteReader reader(file);
  Mp3FrameWalk walk = walk_mp3_frames(reader, true);
  Mp3ChunkedDecode chunks(std::make_shared<MemoryByteReader>(file), walk.frameOffsets, walk.sampleRate,
                          MAD_LAYER_III, 2);
  bool clean = true;
  while (auto chunk = chunks.next()) clean = clean && chunk->clean;
  return clean;
}

// `file` with `bytes` bytes from `at` on replaced by `insert`.
Bytes cut(const Bytes& file, std::size_t at, std::size_t bytes, const Bytes& insert = {}) {
  return Bytes(file.begin(), file.begin() + at) + insert + Bytes(file.begin() + at + bytes, file.end());
}

TEST(ParallelDecode, GivesOneDecodersBytes) {
  // Sync-like bytes over more than one buffer of the one decoder, whose ends decide where libmad
  // finds its next frame in damage; the walk gives up within them, leaving the rest to that decoder.
  Bytes junk(120000);
  std::uint32_t random = 5;
  for (auto& byte : junk) {
    random = random * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(random >> 31 ? "\xFF\xFB\x90\x64\xE3\xF3"[random % 6] : random >> 8);
  }
  const auto clean = [](const Bytes& file) { return file; };
  const auto frameCut = [](const Bytes& file) { return cut(file, file.size() * 2 / 5, 333); };
  const auto junkAt = [&junk](std::size_t sevenths) {
    return [&junk, sevenths](const Bytes& file) { return cut(file, file.size() * sevenths / 7, 0, junk); };
  };
  const auto endCut = [](const Bytes& file) { return cut(file, file.size() - 500, 500); };
  // Frames of another rate where the second chunk would start.
  const Bytes other = make_mp3({.tone = {.sampleRate = 22050, .seconds = 1}});
  const auto otherAtChunk = [&other](const Bytes& f) { return cut(f, mpeg_frames(f)[128].offset, 0, other); };
  struct Row {
    Mp3Shape shape;
    std::function<Bytes(const Bytes&)> damage;
    bool chunksClean;
  };
  const Row rows[] = {
      {{.tone = {.seconds = 12}}, clean, true},
      {{.tone = {.seconds = 12}, .variableBitrate = true, .tagFrame = true}, clean, true},
      {{.tone = {.sampleRate = 22050, .channels = 1, .seconds = 15}, .variableBitrate = true}, clean, true},
      {{.tone = {.sampleRate = 8000, .seconds = 40}, .kbps = 8}, clean, true},
      {{.tone = {.seconds = 12}, .variableBitrate = true}, frameCut, false},
      {{.tone = {.sampleRate = 22050, .seconds = 15}, .kbps = 64}, junkAt(4), true},
      {{.tone = {.seconds = 12}}, junkAt(2), true},
      {{.tone = {.seconds = 12}, .variableBitrate = true}, junkAt(3), true},
      {{.tone = {.seconds = 12}, .kbps = 192, .tagFrame = true}, endCut, true},
      {{.tone = {.seconds = 12}, .kbps = 160}, otherAtChunk, false},
  };
  for (const Row& row : rows) {
    const Bytes file = id3v2_tag(700) + row.damage(make_mp3(row.shape));
    SCOPED_TRACE(&row - rows);
    EXPECT_EQ(every_chunk_clean(file), row.chunksClean);
    const Decoded one = decode(file, 1);
    EXPECT_EQ(one.last, ReadResult::end);
    for (const unsigned int threads : {2u, 7u}) EXPECT_TRUE(decode(file, threads).pcm == one.pcm) << threads;
  }
}

TEST(ParallelDecode, FailsWhereOneDecoderFails) {
  const Bytes file = make_mp3({.tone = {.seconds = 12}});
  const Decoded one = decode(file, 1, file.size() * 2 / 3);
  const Decoded two = decode(file, 2, file.size() * 2 / 3);
  EXPECT_EQ(one.last, ReadResult::failed);
  EXPECT_EQ(two.last, ReadResult::failed);
  EXPECT_TRUE(two.pcm == one.pcm);
}

}  // namespace
}  // namespace tunekiln::test
