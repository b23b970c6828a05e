// tunekiln-cli as scripts use it: standard streams, several files at once, signals, the
// descriptors a careless caller leaves closed; and every file command against the faults a
// user's machine can throw at it: each ends with its message, the file and the reason under it,
// and status 1, and leaves the input and any existing output as they were.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

TEST(Scripts, EveryFileCommandTakesDashAndOutputDirAndEndsOnASignalWithNothingHalfWrittenLeft) {
  const TempDir dir;
  // The program and its arguments in this folder, with temporary files kept here too, so that any left over are seen.
  const auto cli = [&](std::vector<std::string> arguments, const std::string& standardInput = "/dev/null") {
    arguments.insert(arguments.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec < \"$1\" && shift && exec env TMPDIR=. \"$@\"", dir.path().string(), standardInput});
    return run_program(arguments);
  };
  for (const std::string name : {"in.wav", "first.wav", "last.wav"}) write_file(dir.file(name), make_wav({}, ramp_bytes(20000)));
  std::filesystem::create_directory(dir.file("bad.wav"));
  // Ten minutes of sound take long enough to work on that a signal always comes first.
  write_file(dir.file("long.wav"), make_wav({}, Bytes(600 * 176400, 1)));
  const Bytes kept{'k', 'e', 'p', 't'};
  const auto entries = dir.entries();
  const struct {
    std::vector<std::string> command;  // the files go behind it
    std::string extension, finished, progress;
  } commands[] = {
      {{TUNEKILN_CLI, "volume", "--multiple", "0.5"}, ".wav", "change volume  finished!\n", "%"},
      {{TUNEKILN_CLI, "encode"}, ".mp3", "the Mp3 file changed ok!\n", "\r    0:0"},  // on a terminal only, back to column 0
      {{TUNEKILN_CLI, "decode"}, ".wav", "", " / "},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.command[1]);
    const auto with = [&](std::vector<std::string> files) {
      files.insert(files.begin(), c.command.begin(), c.command.end());
      return files;
    };
    ASSERT_EQ(cli(with({"in.wav", "named"})).status, 0);
    const Bytes named = read_file(dir.file("named"));
    const auto piped = cli(with({"-", "-"}), dir.file("in.wav"));
    EXPECT_EQ(std::tuple(piped.status, piped.out, piped.err.ends_with(c.finished)), std::tuple(0, std::string(named.begin(), named.end()), true))
        << piped.err;
    // Braces run the program before the file is read.
    EXPECT_EQ((std::pair{run_without_standard_streams(with({dir.file("in.wav"), dir.file("closed")})), read_file(dir.file("closed"))}), std::pair(0, named));

    // Each input's name in the folder; the first failure ends the run unless told to go on.
    const TempDir out;
    std::vector<std::string> files{"--output-dir", out.path().string(), "first.wav", "bad.wav", "last.wav"};
    EXPECT_EQ((std::pair{cli(with(files)).status, out.entries()}), std::pair(1, std::vector<std::string>{"first" + c.extension}));
    files.insert(files.begin(), "--keep-going");
    EXPECT_EQ((std::pair{cli(with(files)).status, out.entries()}), std::pair(1, std::vector<std::string>{"first" + c.extension, "last" + c.extension}));

    for (const int signal : {SIGINT, SIGTERM, SIGPIPE}) {
      SCOPED_TRACE(::strsignal(signal));
      write_file(dir.file("named"), kept);
      TerminalSession session(with({dir.file("long.wav"), dir.file("named")}));
      ASSERT_TRUE(session.waitForText(c.progress)) << session.shown();
      // Stopped once it shows its progress, given the signal, and let go.
      for (const int sent : {SIGSTOP, signal, SIGCONT}) session.sendSignal(sent);
      const int status = session.wait();
      // Decoding a WAV file runs at the speed of a copy and may have ended before the signal
      // came: then the output is the whole result (the header of the short one's and all the
      // samples), and the status 0 only then. Never is it a part of one.
      const Bytes output = read_file(dir.file("named"));
      const bool whole = c.command[1] == "decode" && output.size() == named.size() - 20000 + 600u * 176400;
      EXPECT_TRUE((status == 128 + signal && (output == kept || whole)) || (whole && status == 0)) << status << " " << output.size() << session.shown();
    }
    for (const char* file : {"named", "closed"}) std::filesystem::remove(dir.file(file));
    EXPECT_EQ(dir.entries(), entries);
  }

  EXPECT_EQ(run_program({"/bin/sh", "-c", "exec \"$0\" info \"$1\" > /dev/full", TUNEKILN_CLI, dir.file("in.wav")}).err, "standard output: No space left on device\n");
}

enum Fault { inputIsAFolder, outputReadOnly, outputIsALinkToTheInput, diskFull, kFaults };

TEST(CommandFaults, EachCommandReportsTheFaultAndLeavesEveryFileAsItWas) {
  TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  const std::string in = dir.file("in.wav"), out = dir.file("out"), readOnly = dir.file("read-only"), link = dir.file("link");
  const Bytes wav = make_wav({}, ramp_bytes(1 << 20));  // 6 s; every output is larger than the disk
  write_file(in, wav);
  std::filesystem::create_symlink(in, link);
  const Bytes existingOutput{'k', 'e', 'e', 'p'};
  for (const auto& [path, mode] : {std::pair{out, 0666}, {readOnly, 0444}}) {
    write_file(path, existingOutput);
    ::chmod(path.c_str(), static_cast<mode_t>(mode));
  }

  const std::string openOutput = "Open the output wav file error!", writeWav = "Write the output wav file error!";
  // A command (IN and OUT go behind its first word) and its message for each fault. The WAV
  // commands share how they open, check and write their files: one stands for all.
  const std::pair<std::vector<std::string>, std::array<std::string, kFaults>> commands[] = {
      {{"volume", "--multiple", "2"}, {"Open the input wav file error!", openOutput, "Input file and Output file are the same!", writeWav}},
      // The console's own text first on a full disk: the file is dropped, so no tag is written.
      {{"encode"},
       {"Could not find \"" + dir.path().string() + "\".", "Can't init outfile '" + readOnly + "'",
        "Input file and Output file are the same. Abort.", "Error writing mp3 output \nWrite the output mp3 file error!"}},
      {{"decode"}, {"Open the input file error!", openOutput, "Input file and Output file are the same!", writeWav}},
  };
  // A fault, the files it is given as, and the line under the message.
  const std::tuple<Fault, std::string, std::string, std::string> faults[] = {
      {inputIsAFolder, dir.path().string(), out, dir.path().string() + ": Is a directory\n"},
      {outputReadOnly, in, readOnly, readOnly + ": Permission denied\n"},
      {outputIsALinkToTheInput, in, link, ""},
      {diskFull, in, out, out + ": File too large\n"},
  };
  const auto entries = dir.entries();
  for (const auto& [command, messages] : commands) {
    for (const auto& [fault, input, output, reason] : faults) {
      // As a user without privileges, for whom a read-only file is what it says (root writes
      // anything). A full disk is a file-size limit of 48 blocks: writes fail as they would, and
      // the program, started with SIGXFSZ at its default of ending it, must not be ended.
      std::vector<std::string> arguments{"/bin/sh", "-c", fault == diskFull ? "ulimit -f 48 && exec \"$@\"" : "exec \"$@\"", "sh"};
      if (::geteuid() == 0) arguments.insert(arguments.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
      arguments.insert(arguments.end(), {TUNEKILN_CLI, command[0], input, output});
      arguments.insert(arguments.end(), command.begin() + 1, command.end());
      const auto result = run_program(arguments);
      SCOPED_TRACE(command[0] + " " + input + " " + output);
      // Any status lines of the encoder come first; nothing half-written is left.
      EXPECT_EQ(std::tuple(result.status, result.err.ends_with(messages[fault] + "\n" + reason)), std::tuple(1, true)) << result.err;
      EXPECT_EQ(std::tuple(read_file(in), read_file(out), read_file(readOnly), std::filesystem::is_symlink(link), dir.entries()),
                std::tuple(wav, existingOutput, existingOutput, true, entries));
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
