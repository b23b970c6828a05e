// tunekiln-cli as scripts use it: standard streams, several files at once, signals, the
// descriptors a careless caller leaves closed; and every file command against the faults a
// user's machine can throw at it: each ends with status 1 and the reason under its message,
// and leaves the input and any existing output as they were.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>

#include "tests/cli/run_cli.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

namespace fs = std::filesystem;
// A file command (the files go behind its words) run in `dir` by a shell's `exec` (behind traps
// or limits, and before redirections), with its temporary files kept in `dir` too, so that any
// left over are seen. What encode and decode name their outputs in a folder, and what volume
// and encode show on a terminal while they work.
const struct FileCommand {
  Words words;
  std::string extension, progress;
  Words in(const TempDir& dir, const Words& files, std::string exec = "exec", std::string after = "") const {
    const std::string script = "cd \"$0\" && " + exec + " env TMPDIR=. \"$@\" " + after;
    return Words{"/bin/sh", "-c", script, dir.path(), TUNEKILN_CLI} + words + files;
  }
} kFileCommands[] = {{{"volume", "--multiple", "0.5"}, ".wav", "%"}, {{"encode"}, ".mp3", "\r    0:0"},
                     {{"decode"}, ".wav"}};

TEST(Scripts, DashAndOutputDirDeliverAllOrFail) {
  const TempDir dir;
  const Bytes wav = make_wav({}, Bytes(1 << 17));
  for (const char* name : {"in", "first.wav", "last.wav"}) write_file(dir.file(name), wav);
  fs::create_directory(dir.file("bad.wav"));
  const auto entries = dir.entries();
  for (const auto& c : kFileCommands) {
    SCOPED_TRACE(c.words[0]);
    const auto run = [&](const Words& files, const std::string& after = "") {
      return run_program(c.in(dir, files, "exec", after));
    };
    const auto named = run({"in", "named"}), piped = run({"-", "-"}, "< in");
    const Bytes result = read_file(dir.file("named"));
    EXPECT_EQ(std::tuple(named.status, piped.status, piped.out, piped.err.ends_with(named.out)),
              std::tuple(0, 0, std::string(result.begin(), result.end()), true));
    // Braces run the program before the file is read.
    EXPECT_EQ((std::pair{run({"in", "closed"}, "<&- >&- 2>&-").status, read_file(dir.file("closed"))}),
              std::pair(0, result));
    // A result that cannot be delivered is a failure, and no finish message comes before it.
    for (const auto& [closing, input] : {std::pair{">/dev/full", "in"}, {">&-", "in"}, {"<&-", "-"}}) {
      const auto failed = run({input, "-"}, closing);
      EXPECT_EQ(std::pair(failed.status, has(failed.err, named.out)), std::pair(1, named.out.empty()))
          << closing << failed.err;
    }
    // Each input's name in the folder; the first failure ends the run (--keep-going's run is the
    // batch test's). One job, or "last" might start before "bad" has failed.
    const TempDir out;
    const Words files{"--jobs", "1", "--output-dir", out.path(), "first.wav", "bad.wav", "last.wav"};
    EXPECT_EQ((std::pair{run(files).status, out.entries()}), std::pair(1, Words{"first" + c.extension}));
    for (const char* file : {"named", "closed"}) fs::remove(dir.file(file));
    EXPECT_EQ(dir.entries(), entries);
  }
}

// An output that would replace an input, under any name, or another output, is refused first.
TEST(Scripts, ABatchThatWouldLoseAFileIsRefused) {
  const TempDir dir;
  for (const char* folder : {"m", "a", "b", "out"}) fs::create_directory(dir.file(folder));
  std::size_t size = 0;
  for (const char* name : {"m/song.wav", "a/x.wav", "b/x.wav"}) {
    write_file(dir.file(name), make_wav({}, Bytes(size += 4, 1)));
  }
  fs::create_symlink("../m/song.wav", dir.file("out/x.wav"));
  const auto before = dir.contents();
  // Two inputs with one output, and an output that is an input under another name, a link's.
  const Words batches[] = {{"a/x.wav", "b/x.wav"}, {"a/x.wav", "m/song.wav"}};
  for (const auto& files : batches) {
    const auto result = run_program(kFileCommands[0].in(dir, {"--output-dir", "out", files[0], files[1]}));
    EXPECT_EQ(result.status, 1);
    for (const auto& name : files) EXPECT_TRUE(has(result.err, name));
    EXPECT_EQ(dir.contents(), before) << result.err;
  }
}

// Ten minutes of sound take long enough to work on that a signal always comes first. Signals
// that the caller ignores (nohup, a background job) stay ignored: SIGHUP, SIGINT and SIGPIPE,
// which would be taken first, are passed over for SIGTERM. Decode ends by the same code, and a
// WAV file's decode, as fast as a copy, could end before the signal came.
TEST(Scripts, SignalsLeaveNothingHalfWritten) {
  const TempDir dir;
  write_file(dir.file("long.wav"), make_wav({}, Bytes(600 * 176400, 1)));
  fs::create_hard_link(dir.file("long.wav"), dir.file("copy.wav"));
  fs::create_directory(dir.file("out"));
  const Bytes kept{'k', 'e', 'p', 't'};
  write_file(dir.file("named"), kept);
  const auto entries = dir.entries();
  // The output, the shell's command before the program, the signals. Every ending signal takes
  // the same way out; SIGINT's own is the batch's, below.
  const std::tuple<std::string, std::string, std::vector<int>> cases[] = {
      {"named", "exec", {SIGPIPE}},
      {"-", "trap '' HUP INT PIPE; exec", {SIGHUP, SIGINT, SIGPIPE, SIGTERM}}};
  for (const auto& command : {kFileCommands[0], kFileCommands[1]}) {
    for (const auto& [to, exec, signals] : cases) {
      TerminalSession session(command.in(dir, {"long.wav", to}, exec));
      ASSERT_TRUE(session.waitForText(command.progress)) << session.shown();
      for (const int signal : signals) session.sendSignal(signal);
      const int status = session.wait();
      EXPECT_EQ(std::pair(status, read_file(dir.file("named"))), std::pair(128 + signals.back(), kept))
          << command.words[0] << exec << session.shown();
      EXPECT_EQ(dir.entries(), entries);
    }
  }
  // A batch whose files are both still being encoded when the signal comes, which takes the way
  // out of every ending signal. The terminal shows the batch's line, never the encoder's own
  // status line of each file.
  const Words batch{"--jobs=2", "--output-dir=out", "long.wav", "copy.wav"};
  TerminalSession session(kFileCommands[1].in(dir, batch));
  ASSERT_TRUE(session.waitForText("of 2 files")) << session.shown();
  session.sendSignal(SIGINT);
  const int status = session.wait();
  const bool shown = has(session.shown(), "    0:0");
  EXPECT_EQ(std::tuple(status, shown, dir.entries(), fs::is_empty(dir.file("out"))),
            std::tuple(128 + SIGINT, false, entries, true));
}

TEST(CommandFaults, ReportedAndNoFileChanged) {
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  // Every output is larger than the "disk".
  write_file(dir.file("in.wav"), make_wav({}, ramp_bytes(1 << 20)));
  fs::create_symlink("in.wav", dir.file("link"));
  for (const auto& [name, mode] : {std::pair{"out", 0666}, {"read-only", 0444}}) {
    write_file(dir.file(name), {'k', 'e', 'e', 'p'});
    fs::permissions(dir.file(name), fs::perms(mode));
  }
  // As a user without privileges, for whom a read-only file is what it says.
  const std::string nobody = ::geteuid() == 0 ? " setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  // A fault, the files it is given as, and the line under the message. A full disk is a
  // file-size limit of 48 blocks: writes fail as they would, and the program, started with
  // SIGXFSZ at its default of ending it, must not be ended.
  const std::array<std::string, 4> faults[] = {
      {"exec", ".", "out", ".: Is a directory\n"},
      {"exec", "in.wav", "read-only", "read-only: Permission denied\n"},
      {"exec", "in.wav", "link", ""},
      {"ulimit -f 48 && exec", "in.wav", "out", "out: File too large\n"}};
  const auto before = dir.contents();
  for (const auto& command : kFileCommands) {
    for (const auto& [limit, input, output, reason] : faults) {
      const auto result = run_program(command.in(dir, {input, output}, limit + nobody));
      EXPECT_EQ(std::pair(result.status, result.err.ends_with(reason)), std::pair(1, true)) << result.err;
      EXPECT_EQ(dir.contents(), before) << command.words[0] << " " << input << " " << output;
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
