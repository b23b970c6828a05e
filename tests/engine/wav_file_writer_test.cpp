// The WAV file writer as an output: the prompt, the header, the sizes it puts right at the end,
// and what it leaves behind when the decoding does not get there.
#include "engine/wav_file_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <deque>

#include "tests/engine/engine_doubles.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// Answers the destination prompt from a script (nothing: Cancel) and records what it was shown.
class ScriptedDestination final : public WavWriterHost {
 public:
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> dialogFilters;
  std::vector<std::string> messages;

  std::optional<std::string> chooseDestination(const FileDialogRequest& dialog) override {
    dialogFilters.emplace_back(dialog.filter);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
};

constexpr StreamInfo kCdQuality{.lengthSeconds = 62, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};

class WavFileWriterTest : public ::testing::Test {
 protected:
  // The writer opened for a stream of `bytes` bytes in `info`'s format, with that decoder attached.
  void start(StreamInfo info, std::size_t bytes) {
    decoder = std::make_unique<TestDecoder>("dec", log, std::map<std::string, TestStream>{{"in", {info, bytes}}});
    ASSERT_TRUE(decoder->open("in"));
    writer.open(info);
    writer.attach(decoder.get());
  }

  // Pumps until the writer lets the decoder go; every pump asks to be pumped again.
  int pumpToTheEnd() {
    int pumps = 0;
    while (writer.attachedDecoder() != nullptr) {
      writer.pump();
      ++pumps;
      EXPECT_TRUE(writer.wakeEvent()->consume()) << "pump " << pumps;
    }
    return pumps;
  }

  // The bytes that the decoder hands out for `count` bytes.
  static Bytes pattern(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
  }

  TempDir dir;
  std::string out = dir.file("out.wav");
  CallLog log;
  ScriptedDestination host;
  std::unique_ptr<TestDecoder> decoder;
  WavFileWriter writer{host};
};

TEST_F(WavFileWriterTest, WritesTheStreamBehindAHeaderWithTheSizesReallyWritten) {
  host.answers = {out};
  start(kCdQuality, 100000);
  writer.pump();
  EXPECT_EQ(host.dialogFilters, std::vector<std::string>{"Wav File(*.wav)|*.wav||"});
  EXPECT_FALSE(std::filesystem::exists(out)) << "the file takes its place only when complete";
  const auto entries = dir.entries();
  ASSERT_EQ(entries.size(), 1u);
  const Bytes partial = read_file(dir.file(entries[0]));
  EXPECT_EQ(le32(partial, 42), 10936800u) << "sized at first for the estimated 62 s";
  EXPECT_EQ(le32(partial, 4), 10936838u);

  EXPECT_EQ(pumpToTheEnd(), 3) << "32768 bytes a pump";
  EXPECT_EQ(log.callsOf("dec.close").size(), 1u);
  writer.close();
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
  const Bytes file = read_file(out);
  ASSERT_EQ(file.size(), 46u + 100000);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'R', 'I', 'F', 'F'}));
  EXPECT_EQ(le32(file, 4), 100038u);
  EXPECT_EQ(Bytes(file.begin() + 8, file.begin() + 16), (Bytes{'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}));
  EXPECT_EQ(le32(file, 16), 18u);
  EXPECT_EQ(le16(file, 20), 1u);
  EXPECT_EQ(le16(file, 22), 2u);
  EXPECT_EQ(le32(file, 24), 44100u);
  EXPECT_EQ(le32(file, 28), 176400u);
  EXPECT_EQ(le16(file, 32), 4u);
  EXPECT_EQ(le16(file, 34), 16u);
  EXPECT_EQ(le16(file, 36), 0u);
  EXPECT_EQ(Bytes(file.begin() + 38, file.begin() + 42), (Bytes{'d', 'a', 't', 'a'}));
  EXPECT_EQ(le32(file, 42), 100000u);
  EXPECT_EQ(Bytes(file.begin() + 46, file.end()), pattern(100000));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(WavFileWriterTest, EightBitMonoAndAStreamThatEndsAtOnce) {
  host.answers = {out};
  start({.lengthSeconds = 3, .sampleRate = 8000, .stereo = 0, .sixteenBit = 0}, 0);
  EXPECT_EQ(pumpToTheEnd(), 1);
  const Bytes file = read_file(out);
  ASSERT_EQ(file.size(), 46u) << "the header alone";
  EXPECT_EQ(le16(file, 22), 1u);
  EXPECT_EQ(le32(file, 28), 8000u);
  EXPECT_EQ(le16(file, 32), 1u);
  EXPECT_EQ(le16(file, 34), 8u);
  EXPECT_EQ(le32(file, 42), 0u);
  EXPECT_EQ(le32(file, 4), 38u);
}

TEST_F(WavFileWriterTest, CancelEndsTheDecodingAsTheEndOfTheStreamWould) {
  start(kCdQuality, 100000);
  EXPECT_EQ(pumpToTheEnd(), 1);
  EXPECT_EQ(host.dialogFilters.size(), 1u) << "asked once, not for every block";
  EXPECT_EQ(log.callsOf("dec.close").size(), 1u);
  EXPECT_TRUE(host.messages.empty()) << "Cancel ends silently";
  writer.close();
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(WavFileWriterTest, APathThatDoesNotOpenIsAskedForAgain) {
  host.answers = {dir.file("no/such/folder.wav"), dir.path().string(), out};
  start(kCdQuality, 5000);
  EXPECT_EQ(pumpToTheEnd(), 1);
  EXPECT_EQ(host.dialogFilters.size(), 3u);
  EXPECT_EQ(read_file(out).size(), 46u + 5000);
  writer.close();

  host.answers = {dir.file("no/such/folder.wav")};  // and then Cancel
  start(kCdQuality, 5000);
  EXPECT_EQ(pumpToTheEnd(), 1);
  EXPECT_EQ(host.dialogFilters.size(), 5u);
}

TEST_F(WavFileWriterTest, ADecodingStoppedBeforeItsEndLeavesTheDestinationAsItWas) {
  write_file(out, {'o', 'l', 'd'});
  host.answers = {out};
  start(kCdQuality, 100000);
  writer.pump();
  writer.close();  // STOP, QUIT or another OPEN while writing
  EXPECT_EQ(read_file(out), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
}

TEST_F(WavFileWriterTest, AFailedWriteEndsTheDecodingWithAMessageAndReplacesNothing) {
  write_file(out, {'o', 'l', 'd'});
  host.answers = {out};
  start(kCdQuality, 1000000);
  // A file size limit stands in for a full disk: writes beyond it fail.
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = 50000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const int pumps = pumpToTheEnd();
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(pumps, 2) << "the second block reaches beyond the limit";
  EXPECT_EQ(host.messages, std::vector<std::string>{"Write the output wav file error!"});
  EXPECT_EQ(log.callsOf("dec.close").size(), 1u);
  writer.close();
  EXPECT_EQ(read_file(out), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
}

TEST_F(WavFileWriterTest, PauseHoldsThePumpingOnceAFileIsOpen) {
  host.answers = {out};
  start(kCdQuality, 100000);
  writer.pause(true);  // no file yet: nothing happens
  writer.pump();
  EXPECT_EQ(host.dialogFilters.size(), 1u);
  EXPECT_TRUE(writer.wakeEvent()->consume());

  writer.pause(true);
  writer.pump();
  EXPECT_FALSE(writer.wakeEvent()->consume()) << "paused: it does not ask for more";
  writer.pause(false);
  EXPECT_TRUE(writer.wakeEvent()->consume()) << "resuming asks once";
  EXPECT_EQ(pumpToTheEnd(), 2);
  EXPECT_EQ(read_file(out).size(), 46u + 100000);
  EXPECT_TRUE(writer.isDone());
}

}  // namespace
}  // namespace tunekiln::test
