#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "engine/mp3_decoder.h"
#include "engine/mp3_frame_walk.h"
#include "tests/support/mp3_maker.h"

namespace tunekiln {
namespace {

using test::Bytes;

TEST(Mp3FrameWalk, CountsEveryFrameOfConstantAndVariableStreams) {
  const struct {
    test::Mp3Shape shape;
    bool tagFrame;
  } rows[] = {
      {{.tone = {.seconds = 3.0}}, false},
      {{.tone = {.sampleRate = 22050, .channels = 1, .seconds = 2.0}, .kbps = 32}, false},
      {{.tone = {.seconds = 3.0}, .variableBitrate = true}, false},  // no frame count anywhere
      {{.tone = {.seconds = 3.0}, .variableBitrate = true, .tagFrame = true}, true},
  };
  for (const auto& row : rows) {
    Bytes file = test::id3v2_tag(300);
    const Bytes mp3 = test::make_mp3(row.shape);
    file.insert(file.end(), mp3.begin(), mp3.end());
    file.insert(file.end(), 128, 0);  // an ID3v1 tag behind the audio
    std::copy_n("TAG", 3, file.end() - 128);

    const auto walk = walk_mp3_frames(MemoryByteReader(file), true);
    ASSERT_EQ(walk.result, AudioFileResult::ok);
    const auto frames = test::mpeg_frames(mp3);  // the test's own account of the frames
    EXPECT_EQ(walk.frames, frames.size() - (row.tagFrame ? 1 : 0));
    EXPECT_EQ(walk.tagFrame, row.tagFrame);
    EXPECT_EQ(walk.frameOffsets.front(), 310 + frames[row.tagFrame ? 1 : 0].offset);
    // The encoder adds its delay and fills the last frame: a few frames more than the tone.
    const double frameSeconds = (row.shape.tone.sampleRate >= 32000 ? 1152.0 : 576.0) / row.shape.tone.sampleRate;
    EXPECT_GE(walk.seconds(), row.shape.tone.seconds);
    EXPECT_LE(walk.seconds(), row.shape.tone.seconds + 3 * frameSeconds);
  }
}

TEST(Mp3FrameWalk, ResynchronisesOnlyAtAConfirmedFrameAndKeepsFailuresApart) {
  const Bytes mp3 = test::make_mp3({.tone = {.seconds = 1.0}});
  const auto clean = walk_mp3_frames(MemoryByteReader(mp3));
  Bytes damaged = mp3;
  const auto second = test::mpeg_frames(mp3)[1].offset;
  // A false sync inside junk in front of a frame: it is skipped, the real frames all count.
  damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(second), {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3});
  EXPECT_EQ(walk_mp3_frames(MemoryByteReader(damaged)).frames, clean.frames);

  const Bytes text(5000, 'a');
  EXPECT_EQ(walk_mp3_frames(MemoryByteReader(text)).result, AudioFileResult::notThisFormat);
}

TEST(Mp3FrameWalk, TheDecoderLearnsTheTrueLengthOfAStreamWithoutAFrameCount) {
  // Variable bitrate without a Xing frame: the first frame's bitrate says nothing of the rest.
  test::TempDir dir;
  const std::string path = dir.file("vbr.mp3");
  const Bytes mp3 = test::make_mp3({.tone = {.seconds = 20.0, .amplitude = 0.1}, .variableBitrate = true});
  test::write_file(path, mp3);
  const auto frames = test::mpeg_frames(mp3).size();

  std::mutex lock;
  std::condition_variable changed;
  bool known = false;
  Mp3Decoder decoder;
  decoder.setLengthListener([&] {
    std::lock_guard guard(lock);
    known = true;
    changed.notify_all();
  });
  ASSERT_TRUE(decoder.open(path));
  EXPECT_EQ(std::string(decoder.openingLengthSource()), "estimate");
  {
    std::unique_lock wait(lock);
    ASSERT_TRUE(changed.wait_for(wait, std::chrono::seconds(10), [&] { return known; }));
  }
  EXPECT_EQ(std::string(decoder.lengthSource()), "frames");
  EXPECT_EQ(decoder.getInfo().lengthSeconds, static_cast<std::int32_t>(frames * 1152 / 44100));
  // A seek lands on the frame that holds the time aimed at: half of 20 s is frame 382 of 765 or so.
  decoder.seek(1, 2);
  EXPECT_EQ(decoder.getPosition(), static_cast<std::int32_t>(frames / 2 * 1152 / 44100));
  decoder.close();
}

}  // namespace
}  // namespace tunekiln
