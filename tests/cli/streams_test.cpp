// tunekiln-cli as scripts use it: standard streams, several files at once, signals, and the
// descriptors a careless caller leaves closed. No file command may reach for the sound server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class Scripts : public ::testing::Test {
 protected:
  Scripts() {
    sockaddr_un address{.sun_family = AF_UNIX};
    dir.file("server").copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(server, 8), 0);
  }
  ~Scripts() override {
    EXPECT_LT(::accept(server, nullptr, nullptr), 0) << "a connection to the sound server was made";
    ::close(server);
  }
  // In this folder, with temporary files kept here too, so that any left over are seen.
  ProgramResult cli(std::vector<std::string> arguments, const std::string& standardInput = "/dev/null") {
    arguments.insert(arguments.begin(), {"/bin/sh", "-c", "cd \"$0\" && in=$1 && shift && exec env TMPDIR=. \"$@\" < \"$in\"",
                                         dir.path().string(), standardInput, "PULSE_SERVER=unix:" + dir.file("server"), TUNEKILN_CLI});
    return run_program(arguments);
  }

  TempDir dir;
  const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
  const Bytes stereo = make_wav({}, ramp_bytes(20000));
};

TEST_F(Scripts, DashIsTheStandardStreamItsMessagesStayOffTheDataAndClosedDescriptorsNeverBecomeTheOutput) {
  write_file(dir.file("in.wav"), stereo);
  for (const auto& [command, finished] :
       {std::pair{"left", "Abstract left channel finished!\n"}, {"encode", "the Mp3 file changed ok!\n"}, {"decode", ""}}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(cli({command, "in.wav", "named"}).status, 0);
    const Bytes named = read_file(dir.file("named"));
    const auto piped = cli({command, "-", "-"}, dir.file("in.wav"));
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, std::string(named.begin(), named.end()));
    EXPECT_TRUE(piped.err.ends_with(finished)) << piped.err;
    EXPECT_EQ(piped.err.find('\r'), std::string::npos) << "no cursor return into a pipe";
    EXPECT_EQ(run_without_standard_streams({TUNEKILN_CLI, command, dir.file("in.wav"), dir.file("closed")}), 0);
    EXPECT_EQ(read_file(dir.file("closed")), named);
    for (const char* file : {"named", "closed"}) std::filesystem::remove(dir.file(file));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "server"}));
  }

  EXPECT_EQ(cli({"info", "--json", "-"}, dir.file("in.wav")).out,
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
  const TempDir out;
  const struct {
    std::vector<std::string> command;
    std::vector<std::string> written;  // sorted
  } cases[] = {
      {{"left"}, {longName + ".wav"}},
      {{"encode", "--keep-going"}, {"last.mp3", longName + ".mp3"}},
      {{"decode"}, {longName + ".wav"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command[0]);
    auto arguments = c.command;
    arguments.insert(arguments.end(), {"--output-dir", out.path().string(), longName + ".wav", "bad.wav", "last.wav"});
    EXPECT_EQ(cli(arguments).status, 1);
    EXPECT_EQ(out.entries(), c.written);
    for (const auto& name : c.written) std::filesystem::remove(out.file(name));
  }
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
    const char* progress;              // the encoder returns to column 0 on a terminal
  } commands[] = {{{"volume", "--multiple", "2"}, "%"}, {{"encode"}, "\r    0:0"}, {{"decode"}, " / "}};
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
      EXPECT_TRUE(out == kept || (c.command[0] == "decode" && out.size() == 46 + 600u * 176400)) << out.size();
      write_file(dir.file("out"), kept);
      EXPECT_EQ(dir.entries(), entries);
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
