// tunekiln-cli play through the real sound server, as a user runs it.
#include <gtest/gtest.h>

#include "tests/sound/sound_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"

namespace tunekiln::test {
namespace {

using PlayCommand = SoundTest;

// The engine reports STOPPED, and the command ends, only once the last block has been played.
TEST_F(PlayCommand, PlaysEveryFrameOnceInOrderAndExitsWithZeroAfterTheLast) {
  const std::size_t frames = kRate * 3 / 2;  // several blocks, the last one short
  const std::string file = writeWav("count.wav", counting_frames(frames));
  const std::size_t start = recorder().frames();
  const auto result = run_program({TUNEKILN_CLI, "play", file});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out + result.err, "") << "no time line when standard error is not a terminal";
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForSilence(recorder().frames(), kRate / 2, silence));
  const auto runs = counted_runs(recorder().samples(start));
  ASSERT_EQ(runs.size(), 1u) << "nothing lost, repeated or out of order";
  EXPECT_LE(runs[0].firstIndex, kRewindFrames);
  EXPECT_EQ(runs[0].end(), static_cast<std::int64_t>(frames));
}

TEST_F(PlayCommand, OnATerminalItShowsTheTimeAndTheKeysPauseSeekAndStop) {
  constexpr std::int64_t kFrames = kRate * 20;
  const std::string file = writeWav("count.wav", counting_frames(kFrames));
  const std::size_t start = recorder().frames();
  TerminalSession session({TUNEKILN_CLI, "play", file});
  ASSERT_TRUE(session.waitForText(" / 0:00:20")) << session.shown();
  std::size_t at = 0;
  ASSERT_TRUE(recorder().waitForSound(start, at));
  session.type(" ");
  ASSERT_TRUE(session.waitForText("paused")) << session.shown();
  ASSERT_TRUE(recorder().waitForSilence(at, kRate / 4, at));
  session.type(" ");
  ASSERT_TRUE(recorder().waitForSound(at, at));

  // Four steps of 5 % on from where the decoder stands: well past anything heard so far.
  session.type("\x1b[C\x1b[C\x1b[C\x1b[C");
  const std::int64_t heard = counted_runs(recorder().samples(start)).back().end();
  bool jumped = false;
  while (!jumped && recorder().frames() < start + kFrames) {
    ASSERT_TRUE(recorder().waitForFrames(recorder().frames() + kRate / 10));
    const auto last = counted_runs(recorder().samples(start)).back();
    jumped = last.firstIndex >= heard + kFrames / 5 && last.length > kRate / 10;
  }
  EXPECT_TRUE(jumped) << "the arrows did not seek";
  session.type("q");
  EXPECT_EQ(session.wait(), 0) << session.shown();
}

}  // namespace
}  // namespace tunekiln::test
