// Every file command of tunekiln-cli against the faults a user's machine can throw at it: each
// ends with its message, the file and the reason under it, and status 1, and leaves the input
// and any existing output as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <tuple>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

enum Fault { inputIsAFolder, inputIsAFifo, outputFolderMissing, outputReadOnly, outputIsALinkToTheInput, diskFull, kFaults };
using Messages = std::array<std::string, kFaults>;  // by fault

// The program as a user without privileges, for whom a read-only file is what it says (root
// writes anything). A full disk is a file-size limit of 48 blocks: writes fail as they would,
// and the program, started with SIGXFSZ at its default of ending it, must not be ended.
std::vector<std::string> as_user(bool diskFull, const std::vector<std::string>& arguments) {
  std::vector<std::string> program{"/bin/sh", "-c", diskFull ? "ulimit -f 48 && exec \"$@\"" : "exec \"$@\"", "sh"};
  if (::geteuid() == 0) program.insert(program.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  program.insert(program.end(), arguments.begin(), arguments.end());
  return program;
}

TEST(CommandFaults, EachCommandReportsTheFaultAndLeavesEveryFileAsItWas) {
  TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  const std::string in = dir.file("in.wav"), out = dir.file("out"), readOnly = dir.file("read-only");
  const std::string link = dir.file("link"), fifo = dir.file("fifo");
  const Bytes wav = make_wav({}, ramp_bytes(1 << 20));  // 6 s; every output is larger than the disk
  write_file(in, wav);
  std::filesystem::create_symlink(in, link);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  const Bytes existingOutput{'k', 'e', 'e', 'p'};
  for (const auto& [path, mode] : {std::pair{out, 0666}, {readOnly, 0444}}) {
    write_file(path, existingOutput);
    ::chmod(path.c_str(), static_cast<mode_t>(mode));
  }

  const std::string openInput = "Open the input wav file error!", openOutput = "Open the output wav file error!";
  // A command (IN and OUT go behind its first word) and its message for each fault.
  const std::pair<std::vector<std::string>, Messages> commands[] = {
      // The WAV commands share how they open, check and write their files: one stands for all.
      {{"volume", "--multiple", "2"},
       {openInput, openInput, openOutput, openOutput, "Input file and Output file are the same!",
        "Write the output wav file error!"}},
      {{"encode"},
       {"Could not find \"" + dir.path().string() + "\".", "Could not find \"" + fifo + "\".",
        "Can't init outfile '" + dir.file("none/out") + "'", "Can't init outfile '" + readOnly + "'",
        "Input file and Output file are the same. Abort.",
        // The console's own text first: the file is dropped, so no tag is written.
        "Error writing mp3 output \nWrite the output mp3 file error!"}},
      {{"decode"},
       {"Open the input file error!", "Open the input file error!", openOutput, openOutput,
        "Input file and Output file are the same!", "Write the output wav file error!"}},
  };
  // A fault, the files it is given as, and the line under the message.
  const std::tuple<Fault, std::string, std::string, std::string> faults[] = {
      {inputIsAFolder, dir.path().string(), out, dir.path().string() + ": Is a directory\n"},
      {inputIsAFifo, fifo, out, fifo + ": Not a regular file\n"},
      {outputFolderMissing, in, dir.file("none/out"), dir.file("none/out") + ": No such file or directory\n"},
      {outputReadOnly, in, readOnly, readOnly + ": Permission denied\n"},
      {outputIsALinkToTheInput, in, link, ""},
      {diskFull, in, out, out + ": File too large\n"},
  };
  const auto entries = dir.entries();
  for (const auto& [command, messages] : commands) {
    for (const auto& [fault, input, output, reason] : faults) {
      std::vector<std::string> arguments{TUNEKILN_CLI, command[0], input, output};
      arguments.insert(arguments.end(), command.begin() + 1, command.end());
      const auto result = run_program(as_user(fault == diskFull, arguments));
      SCOPED_TRACE(command[0] + " " + input + " " + output);
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.out, "");
      // Any status lines of the encoder come first.
      EXPECT_TRUE(result.err.ends_with(messages[fault] + "\n" + reason)) << result.err;
      EXPECT_EQ(read_file(in), wav);
      EXPECT_EQ(read_file(out), existingOutput);
      EXPECT_EQ(read_file(readOnly), existingOutput);
      EXPECT_TRUE(std::filesystem::is_symlink(link));
      EXPECT_EQ(dir.entries(), entries) << "nothing half-written is left";
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
