// Batches of several files at once: every output, status and message as when the files are done
// one after another, in whatever order they finish. Signals are the scripts test's matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/cli/run_cli.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

namespace fs = std::filesystem;
// Both widths (24-bit samples go through decode's dither), loud enough to clip at 1.5, with a
// folder, a file of no known format and a missing file among them.
const Words kInputs{"a.wav", "folder.wav", "b.wav", "c.wav", "junk.wav", "d.wav", "missing.wav", "e.wav"};

// Each file's own largest multiple: a factor one file found must not reach another.
const Words kCommands[] = {{"clear-voice"}, {"volume", "--multiple", "1.5"},
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
      // before it and is whole, and files started beside it may be, but not all the rest.
      const TempDir some;
      const auto ended = run_batch(dir, command, jobs, false, some);
      const auto written = some.contents();
      const bool firstWhole = written.contains(outputs.begin()->first);
      EXPECT_EQ(std::tuple(ended.status, has(ended.err, blocks[0]), firstWhole),
                std::tuple(1, true, true));
      EXPECT_LT(written.size(), outputs.size());
      for (const auto& [name, bytes] : written) EXPECT_EQ(bytes, outputs.at(name));
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
