// Every file command of tunekiln-cli against the faults a user's machine can throw at it: each
// ends with its message and status 1, and leaves the input and any existing output as they were.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <array>
#include <filesystem>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

enum Fault { inputIsAFolder, outputFolderMissing, outputIsALinkToTheInput, diskFull, kFaults };
using Messages = std::array<std::string, kFaults>;  // by fault

// A file-size limit makes writes fail as on a full disk, without privileges; the program
// inherits it, and the ignored signal, from this process.
ProgramResult run_with_full_disk(const std::vector<std::string>& arguments) {
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  rlimit limited = previous;
  limited.rlim_cur = 50000;
  ::setrlimit(RLIMIT_FSIZE, &limited);
  auto result = run_program(arguments);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, previousHandler);
  return result;
}

TEST(CommandFaults, EachCommandReportsTheFaultAndLeavesEveryFileAsItWas) {
  TempDir dir;
  const std::string in = dir.file("in.wav");
  const std::string out = dir.file("out");
  const std::string link = dir.file("link");
  const Bytes input = make_wav({}, ramp_bytes(1 << 20));  // 6 s; every output is larger than the disk
  write_file(in, input);
  std::filesystem::create_symlink(in, link);
  const Bytes existingOutput{'k', 'e', 'e', 'p'};
  write_file(out, existingOutput);

  const Messages wavMessages{"Open the input wav file error!", "Open the output wav file error!",
                             "Input file and Output file are the same!", "Write the output wav file error!"};
  const struct {
    std::vector<std::string> command;  // IN and OUT go behind the first word
    Messages messages;
  } commands[] = {
      {{"left"}, wavMessages},
      {{"right"}, wavMessages},
      {{"clear-voice"}, wavMessages},
      {{"volume", "--multiple", "2"}, wavMessages},
      {{"cut", "--start", "0:00:00", "--end", "0:00:05"}, wavMessages},
      {{"encode"},
       {"Could not find \"" + dir.path().string() + "\".", "Can't init outfile '" + dir.file("none/out") + "'",
        "Input file and Output file are the same. Abort.",
        // The console's own text first: the file is dropped, so no tag is written.
        "Error writing mp3 output \nWrite the output mp3 file error!"}},
      {{"decode"},
       {"Open the input file error!", "Open the output wav file error!", "Input file and Output file are the same!",
        "Write the output wav file error!"}},
  };
  const struct {
    Fault fault;
    std::string input, output;
  } faults[] = {
      {inputIsAFolder, dir.path().string(), out},
      {outputFolderMissing, in, dir.file("none/out")},
      {outputIsALinkToTheInput, in, link},
      {diskFull, in, out},
  };
  const auto entries = dir.entries();
  for (const auto& c : commands) {
    for (const auto& f : faults) {
      std::vector<std::string> arguments{TUNEKILN_CLI, c.command[0], f.input, f.output};
      arguments.insert(arguments.end(), c.command.begin() + 1, c.command.end());
      const auto result = f.fault == diskFull ? run_with_full_disk(arguments) : run_program(arguments);
      SCOPED_TRACE(c.command[0] + " " + f.input + " " + f.output);
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.out, "");
      // The sound server's client library may say something of its own first.
      EXPECT_TRUE(result.err.ends_with(c.messages[f.fault] + "\n")) << result.err;
      EXPECT_EQ(read_file(in), input);
      EXPECT_EQ(read_file(out), existingOutput);
      EXPECT_TRUE(std::filesystem::is_symlink(link));
      EXPECT_EQ(dir.entries(), entries) << "nothing half-written is left";
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
