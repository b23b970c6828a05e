// Batches of several files at once: every output, status and message as when the files are done
// one after another, in whatever order they finish; and a signal in the middle leaves nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/cli/run_cli.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

namespace fs = std::filesystem;
// Both widths (24-bit samples go through decode's dither), loud enough to clip at 1.5, with a
// folder, a file of no known format and a missing file among them.
const Words kInputs{"a.wav", "folder.wav", "b.wav", "c.wav", "junk.wav", "d.wav", "missing.wav", "e.wav"};

// Each file's own largest multiple: a factor one file found must not reach another.
const Words kCommands[] = {{"left"}, {"clear-voice"}, {"volume", "--multiple", "1.5"},
                           {"volume", "--multiple", "max"}, {"cut"}, {"-q", "encode"}, {"decode"}};

void write_inputs(const TempDir& dir) {
  for (std::size_t i = 0; i < 5; ++i) {
    const WavShape shape{.bits = static_cast<std::uint16_t>(16 + i % 2 * 8)};
    std::vector<double> values(30000 * (i + 1));
    for (std::size_t n = 0; n < values.size(); ++n) {
      values[n] = std::sin(static_cast<double>(n * n % 9973) * 0.01) * (i % 2 ? 8e6 : 3e4);
    }
    write_file(dir.file(std::string(1, "abcde"[i]) + ".wav"), make_wav(shape, encode_samples(shape, values)));
  }
  fs::create_directory(dir.file("folder.wav"));
  write_file(dir.file("junk.wav"), Bytes(300, 'j'));
}

ProgramResult run_batch(const TempDir& dir, const Words& command, int jobs, bool keepGoing,
                        const TempDir& out) {
  Words arguments = command + Words{"--jobs=" + std::to_string(jobs), "--output-dir=" + out.path().string(),
                                    keepGoing ? "--keep-going" : "-q"};
  for (const auto& input : kInputs) arguments.push_back(dir.file(input));
  return cli(arguments);
}

Words lines_of(const std::string& text, bool sorted = true) {
  Words lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  if (sorted) std::ranges::sort(lines);
  return lines;
}

// Each reason line ("/…/junk.wav: …") with the message above it, which must stay together.
Words failures(const std::string& err, const TempDir& dir) {
  const Words lines = lines_of(err, false);
  Words blocks;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].starts_with(dir.path().string())) blocks.push_back(lines[i - 1] + '\n' + lines[i]);
  }
  return blocks;
}

TEST(BatchJobs, EveryCommandGivesWhatOneFileAfterAnotherGives) {
  const TempDir dir;
  write_inputs(dir);
  for (const auto& command : kCommands) {
    const TempDir whole;
    const auto all = run_batch(dir, command, 1, true, whole);
    // The folder and the missing file fail every command; encode takes the junk for raw samples.
    const auto blocks = failures(all.err, dir);
    ASSERT_GE(blocks.size(), 2u);
    const auto outputs = whole.contents();  // a's first
    for (const int jobs : {2, 4}) {
      SCOPED_TRACE(command.back() + std::to_string(jobs));
      const TempDir out;
      const auto result = run_batch(dir, command, jobs, true, out);
      EXPECT_EQ(std::tuple(result.status, lines_of(result.out), lines_of(result.err), out.contents()),
                std::tuple(all.status, lines_of(all.out), lines_of(all.err), outputs));
      for (const auto& block : blocks) EXPECT_TRUE(has(result.err, block));
      // Without --keep-going the folder, the second input, stops the batch: the first was started
      // before it and is whole, and files started beside it may be.
      const TempDir some;
      const auto ended = run_batch(dir, command, jobs, false, some);
      const auto written = some.contents();
      const bool firstWhole = written.contains(outputs.begin()->first);
      EXPECT_EQ(std::tuple(ended.status, has(ended.err, blocks[0]), firstWhole),
                std::tuple(1, true, true));
      for (const auto& [name, bytes] : written) EXPECT_EQ(bytes, outputs.at(name));
    }
  }
}

// Ten minutes of sound each: both files are still being encoded when the signal comes. The
// terminal shows the batch's line, never the encoder's own status line of each file.
TEST(BatchJobs, ASignalLeavesNothingBehind) {
  const TempDir dir;
  write_file(dir.file("one.wav"), make_wav({}, Bytes(600 * 176400, 1)));
  fs::create_hard_link(dir.file("one.wav"), dir.file("two.wav"));
  fs::create_directory(dir.file("out"));
  const auto before = dir.entries();
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TerminalSession session({TUNEKILN_CLI, "encode", "--jobs=2", "--output-dir=" + dir.file("out"),
                             dir.file("one.wav"), dir.file("two.wav")});
    ASSERT_TRUE(session.waitForText("of 2 files"));
    session.sendSignal(signal);
    const int status = session.wait();
    const bool shown = has(session.shown(), "    0:0");
    EXPECT_EQ(std::tuple(status, shown, dir.entries(), fs::is_empty(dir.file("out"))),
              std::tuple(128 + signal, false, before, true));
  }
}

}  // namespace
}  // namespace tunekiln::test
