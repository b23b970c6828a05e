// Batches of several files at once: every output, status and message as when the files are done
// one after another, in whatever order they finish; and a signal in the middle leaves nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

// Both widths (24-bit samples go through decode's dither), loud enough to clip at 1.5, with a
// folder, a file of no known format and a missing file among them.
const Words kInputs{"a.wav", "folder.wav", "b.wav", "c.wav", "junk.wav", "d.wav", "missing.wav", "e.wav"};

// Each file's own largest multiple: a factor one file found must not reach another.
const Words kCommands[] = {{"left"}, {"right"}, {"clear-voice"}, {"volume", "--multiple", "1.5"},
                           {"volume", "--multiple", "max"}, {"cut"}, {"-q", "encode"}, {"decode"}};

void write_inputs(const TempDir& dir) {
  for (int i = 0; i < 5; ++i) {
    const WavShape shape{.bits = static_cast<std::uint16_t>(i % 2 == 0 ? 16 : 24)};
    std::vector<double> values(static_cast<std::size_t>(30000 * (i + 1)));
    for (std::size_t n = 0; n < values.size(); ++n) {
      values[n] = std::sin(static_cast<double>(n * n % 9973) * 0.01) * (i % 2 == 0 ? 3e4 : 8e6);
    }
    const std::string name{static_cast<char>('a' + i), '.', 'w', 'a', 'v'};
    write_file(dir.file(name), make_wav(shape, encode_samples(shape, values)));
  }
  fs::create_directory(dir.file("folder.wav"));
  write_file(dir.file("junk.wav"), Bytes(300, 'j'));
}

ProgramResult run_batch(const TempDir& dir, const Words& command, int jobs, bool keepGoing,
                        const TempDir& out) {
  Words arguments{TUNEKILN_CLI};
  arguments.insert(arguments.end(), command.begin(), command.end());
  arguments.insert(arguments.end(), {"--jobs", std::to_string(jobs), "--output-dir", out.path().string()});
  if (keepGoing) arguments.push_back("--keep-going");
  for (const auto& input : kInputs) arguments.push_back(dir.file(input));
  return run_program(arguments);
}

Words sorted_lines(const std::string& text) {
  Words lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Each reason line ("/…/junk.wav: …") with the message above it, which must stay together.
Words failures(const std::string& err, const TempDir& dir) {
  Words blocks;
  for (std::size_t at = err.find('\n' + dir.path().string()); at != std::string::npos;
       at = err.find('\n' + dir.path().string(), at + 1)) {
    const std::size_t start = err.rfind('\n', at - 1);
    blocks.push_back(err.substr(start == std::string::npos ? 0 : start + 1, err.find('\n', at + 1) - start));
  }
  return blocks;
}

TEST(BatchJobs, EveryCommandGivesTheBytesStatusAndMessagesOfOneFileAfterAnother) {
  const TempDir dir;
  write_inputs(dir);
  for (const auto& command : kCommands) {
    const TempDir whole, first;
    const auto all = run_batch(dir, command, 1, true, whole);
    const auto stopped = run_batch(dir, command, 1, false, first);
    // The folder and the missing file fail every command; encode takes the junk for raw samples.
    const auto blocks = failures(all.err, dir);
    ASSERT_EQ(std::tuple(all.status, stopped.status, blocks.size() >= 2), std::tuple(1, 1, true));
    for (const int jobs : {2, 4}) {
      SCOPED_TRACE(command.back() + " --jobs " + std::to_string(jobs));
      const TempDir out;
      const auto result = run_batch(dir, command, jobs, true, out);
      EXPECT_EQ(std::tuple(result.status, sorted_lines(result.out), sorted_lines(result.err), out.contents()),
                std::tuple(all.status, sorted_lines(all.out), sorted_lines(all.err), whole.contents()));
      for (const auto& block : blocks) EXPECT_NE(result.err.find(block), std::string::npos) << block;
      // Without --keep-going: what ran before the failure is whole, and files started beside it may be.
      const TempDir some;
      const auto ended = run_batch(dir, command, jobs, false, some);
      EXPECT_EQ(ended.status, 1);
      EXPECT_NE(ended.err.find(failures(stopped.err, dir).at(0)), std::string::npos) << ended.err;
      for (const auto& [name, bytes] : first.contents()) EXPECT_EQ(some.contents().count(name), 1u) << name;
      for (const auto& [name, bytes] : some.contents()) EXPECT_EQ(bytes, whole.contents().at(name)) << name;
    }
  }
}

// Ten minutes of sound each: both files are still being encoded when the signal comes. The
// terminal shows the batch's line, never the encoder's own status line of each file.
TEST(BatchJobs, ASignalEndsEveryRunningFileWithNothingLeftBehind) {
  const TempDir dir;
  write_file(dir.file("one.wav"), make_wav({}, Bytes(600 * 176400, 1)));
  fs::create_hard_link(dir.file("one.wav"), dir.file("two.wav"));
  fs::create_directory(dir.file("out"));
  const auto before = dir.entries();
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const std::string script = "cd \"$0\" && exec env TMPDIR=. \"$@\"";
    TerminalSession session({"/bin/sh", "-c", script, dir.path(), TUNEKILN_CLI,
                             "encode", "--jobs", "2", "--output-dir", "out", "one.wav", "two.wav"});
    ASSERT_TRUE(session.waitForText("0 of 2 files")) << session.shown();
    session.sendSignal(signal);
    EXPECT_EQ(session.wait(), 128 + signal);
    EXPECT_EQ(session.shown().find("    0:0"), std::string::npos) << session.shown();
    EXPECT_EQ(std::pair(dir.entries(), fs::is_empty(dir.file("out"))), std::pair(before, true));
  }
}

}  // namespace
}  // namespace tunekiln::test
