// tunekiln-cli as scripts use it: standard streams, several files at once, signals, and the
// descriptors a careless caller leaves closed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

std::string text_of(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class Scripts : public ::testing::Test {
 protected:
  // In this folder, with temporary files kept here too, so that any left over are seen.
  ProgramResult cli(std::vector<std::string> arguments, const std::string& standardInput = "/dev/null") {
    arguments.insert(arguments.begin(), {"/bin/sh", "-c", "cd \"$0\" && in=$1 && shift && exec env TMPDIR=. \"$@\" < \"$in\"",
                                         dir.path().string(), standardInput, TUNEKILN_CLI});
    return run_program(arguments);
  }

  TempDir dir;
  const Bytes stereo = make_wav({}, ramp_bytes(20000));
};

TEST_F(Scripts, DashIsTheStandardStreamAndItsMessagesStayOffTheData) {
  write_file(dir.file("in.wav"), stereo);
  const struct {
    std::string command, finished;
  } commands[] = {{"left", "Abstract left channel finished!\n"}, {"encode", "the Mp3 file changed ok!\n"}, {"decode", ""}};
  for (const auto& [command, finished] : commands) {
    SCOPED_TRACE(command);
    ASSERT_EQ(cli({command, "in.wav", "named"}).status, 0);
    const auto piped = cli({command, "-", "-"}, dir.file("in.wav"));
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, text_of(read_file(dir.file("named"))));
    EXPECT_TRUE(piped.err.ends_with(finished)) << piped.err;
    std::filesystem::remove(dir.file("named"));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
  }

  const auto json = cli({"info", "--json", "-"}, dir.file("in.wav"));
  EXPECT_EQ(json.out,
            "{\"lengthSeconds\": 0, \"bitrateKbps\": 0, \"sampleRate\": 44100, \"stereo\": 1, \"sixteenBit\": 1, "
            "\"decoder\": \"wav\", \"bitsPerSample\": 16, \"float\": 0, \"lengthSource\": \"header\"}\n");
  EXPECT_EQ(run_program({"/bin/sh", "-c", "exec \"$0\" info \"$1\" > /dev/full", TUNEKILN_CLI, dir.file("in.wav")}).err,
            "standard output: No space left on device\n");
  const auto quiet = cli({"--quiet", "right", "in.wav", "out.wav"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out + quiet.err, "");
  EXPECT_TRUE(cli({"--version"}).out.starts_with("tunekiln-cli "));
}

TEST_F(Scripts, OutputDirTakesEachInputsNameUpToTheLongestAndStopsAtAFailureUnlessToldToGoOn) {
  const std::string longName = std::string(251, 'n');  // with its extension, the longest name allowed
  write_file(dir.file(longName + ".wav"), stereo);
  std::filesystem::create_directory(dir.file("bad.wav"));
  write_file(dir.file("last.wav"), stereo);
  std::filesystem::create_directory(dir.file("out"));
  const struct {
    std::vector<std::string> command;
    std::vector<std::string> written;
  } cases[] = {
      {{"left", "--output-dir", "out"}, {longName + ".wav"}},
      {{"left", "--output-dir", "out", "--keep-going"}, {longName + ".wav", "last.wav"}},
      {{"encode", "--output-dir", "out", "--keep-going"}, {longName + ".mp3", "last.mp3"}},
      {{"decode", "--output-dir", "out"}, {longName + ".wav"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command[0]);
    auto arguments = c.command;
    arguments.insert(arguments.end(), {longName + ".wav", "bad.wav", "last.wav"});
    EXPECT_EQ(cli(arguments).status, 1);
    auto written = c.written;
    std::sort(written.begin(), written.end());
    EXPECT_EQ(names_in(dir.file("out")), written);
    std::filesystem::remove_all(dir.file("out"));
    std::filesystem::create_directory(dir.file("out"));
  }
}

TEST_F(Scripts, ClosedStandardDescriptorsNeverBecomeTheOutput) {
  write_file(dir.file("in.wav"), stereo);
  for (const char* command : {"encode", "left", "decode"}) {
    ASSERT_EQ(cli({command, "in.wav", "open"}).status, 0);
    EXPECT_EQ(run_without_standard_streams({TUNEKILN_CLI, command, dir.file("in.wav"), dir.file("closed")}), 0);
    EXPECT_EQ(read_file(dir.file("closed")), read_file(dir.file("open"))) << command;
  }
}

TEST_F(Scripts, DecodingNeverReachesForTheSoundServer) {
  write_file(dir.file("in.wav"), stereo);
  const std::string server = dir.file("server");
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_un address{.sun_family = AF_UNIX};
  server.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  const auto result = run_program(
      {"/usr/bin/env", "PULSE_SERVER=unix:" + server, TUNEKILN_CLI, "decode", dir.file("in.wav"), dir.file("out.wav")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "a connection was made";
  ::close(listener);
}

// Each signal at a known point, while the output is being written: the program is stopped
// once it shows its progress, given the signal, and let go. Ten minutes of sound take long
// enough to work on that the signal always comes first.
TEST_F(Scripts, SignalsEndACommandWithTheirStatusAndLeaveNoFileBehind) {
  write_file(dir.file("in.wav"), make_wav({}, Bytes(600 * 176400, 1)));
  const Bytes kept{'k', 'e', 'p', 't'};
  write_file(dir.file("out"), kept);
  const auto entries = dir.entries();
  const struct {
    std::vector<std::string> command;  // IN and OUT go behind the first word
    const char* progress;
  } commands[] = {{{"volume", "--multiple", "2"}, "%"}, {{"encode"}, "/"}, {{"decode"}, " / "}};
  for (const auto& c : commands) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
      SCOPED_TRACE(c.command[0] + " " + ::strsignal(signal));
      std::vector<std::string> arguments{TUNEKILN_CLI, c.command[0], dir.file("in.wav"), dir.file("out")};
      arguments.insert(arguments.end(), c.command.begin() + 1, c.command.end());
      TerminalSession session(arguments);
      ASSERT_TRUE(session.waitForText(c.progress)) << session.shown();
      session.sendSignal(SIGSTOP);
      session.sendSignal(signal);
      session.sendSignal(SIGCONT);
      EXPECT_EQ(session.wait(), 128 + signal) << session.shown();
      // Decoding a WAV file runs at the speed of a copy and may have ended before the signal
      // came: then the output is the whole result. Never is it a part of one.
      const Bytes out = read_file(dir.file("out"));
      if (c.command[0] == "decode" && out != kept) {
        EXPECT_EQ(out.size(), 46 + 600u * 176400) << "a partial output";
        write_file(dir.file("out"), kept);
      }
      EXPECT_TRUE(out == kept || c.command[0] == "decode");
      EXPECT_EQ(dir.entries(), entries);
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
