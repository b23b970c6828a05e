// The WAV file writer as an output: the prompt, the header, the sizes it puts right at the end,
// and what it leaves behind when the decoding does not get there. A write that fails is
// checked through tunekiln-cli decode, in the command line's fault tests.
#include "engine/wav_file_writer.h"

#include <gtest/gtest.h>

#include <deque>

#include "audiofile/wave_header.h"
#include "tests/engine/engine_doubles.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// Answers the destination prompt from a script (nothing: Cancel) and counts the prompts.
class ScriptedDestination final : public WavWriterHost {
 public:
  std::optional<std::string> chooseDestination(const FileDialogRequest& dialog) override {
    EXPECT_EQ(dialog.filter, "Wav File(*.wav)|*.wav||");
    ++prompts;
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }

  std::deque<std::optional<std::string>> answers;
  int prompts = 0;
  std::vector<std::string> messages;
};

constexpr StreamInfo kCdQuality{.lengthSeconds = 62, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};

class WavFileWriterTest : public ::testing::Test {
 protected:
  // The writer opened for a stream of `bytes` bytes in `info`'s format, with that decoder attached.
  void start(StreamInfo info, std::size_t bytes, bool failsAtEnd = false) {
    decoder = std::make_unique<TestDecoder>("dec", log,
                                            std::map<std::string, TestStream>{{"in", {info, bytes, failsAtEnd}}});
    ASSERT_TRUE(decoder->open("in"));
    writer.emplace(host, limits);
    writer->open(info);
    writer->attach(decoder.get());
  }

  void TearDown() override { EXPECT_EQ(host.messages, std::vector<std::string>{}); }

  // Pumps until the writer lets the decoder go, every pump asking for the next, and closes it.
  int pumpToTheEnd() {
    const std::size_t closes = log.callsOf("dec.close").size();
    int pumps = 0;
    for (; writer->attachedDecoder() != nullptr; ++pumps) {
      writer->pump();
      EXPECT_TRUE(writer->wakeEvent()->consume()) << "pump " << pumps;
    }
    EXPECT_EQ(log.callsOf("dec.close").size(), closes + 1) << "the writer closes the decoder at the end";
    writer->close();
    return pumps;
  }

  TempDir dir;
  std::string out = dir.file("out.wav");
  CallLog log;
  ScriptedDestination host;
  std::unique_ptr<TestDecoder> decoder;
  WavSizeLimits limits;
  std::optional<WavFileWriter> writer;
};

// The name under which this process's open file in `folder`, which has none of its own, reads.
std::string open_file_in(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error).string().starts_with(folder + "/")) return entry.path();
  }
  return {};
}

TEST_F(WavFileWriterTest, WritesTheStreamBehindAHeaderWithTheSizesReallyWritten) {
  host.answers = {out};
  start(kCdQuality, 100000);
  writer->pump();
  EXPECT_TRUE(dir.entries().empty()) << "the file has no name until it is complete";
  const Bytes partial = read_file(open_file_in(dir.path().string()));
  EXPECT_EQ(le32(partial, 4), 10936838u) << "sized at first for the estimated 62 s";
  EXPECT_EQ(le32(partial, 42), 10936800u);

  EXPECT_EQ(pumpToTheEnd(), 3) << "32768 bytes a pump";
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
  EXPECT_EQ(read_file(out), make_wav({.extensionSizeField = true}, stream_bytes(100000)));

  host.answers = {out};
  start({.lengthSeconds = 3, .sampleRate = 8000, .stereo = 0, .sixteenBit = 0}, 0);
  EXPECT_EQ(pumpToTheEnd(), 1);
  EXPECT_EQ(read_file(out), make_wav({.channels = 1, .sampleRate = 8000, .bits = 8, .extensionSizeField = true}, {}));
}

TEST_F(WavFileWriterTest, CancelEndsTheDecodingAsTheEndOfTheStreamWould) {
  host.answers = {dir.file("no/such/folder.wav"), dir.path().string()};  // and then Cancel
  start(kCdQuality, 100000);
  EXPECT_EQ(pumpToTheEnd(), 1);
  EXPECT_EQ(host.prompts, 3) << "a path that does not open is asked for again, Cancel is not";
  EXPECT_TRUE(dir.entries().empty());

  host.answers = {dir.file("no/such/folder.wav"), out};
  start(kCdQuality, 5000);
  EXPECT_EQ(pumpToTheEnd(), 1);
  EXPECT_EQ(read_file(out).size(), 46u + 5000);
}

TEST_F(WavFileWriterTest, ADecodingStoppedBeforeItsEndLeavesTheDestinationAsItWas) {
  write_file(out, {'o', 'l', 'd'});
  host.answers = {out};
  start(kCdQuality, 100000);
  writer->pump();
  writer->close();  // STOP, QUIT or another OPEN while writing
  EXPECT_EQ(read_file(out), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
}

TEST_F(WavFileWriterTest, PauseHoldsThePumpingOnceAFileIsOpen) {
  host.answers = {out};
  start(kCdQuality, 100000);
  writer->pause(true);  // no file yet: nothing happens
  writer->pump();
  EXPECT_TRUE(writer->wakeEvent()->consume());
  writer->pause(true);
  writer->pump();
  EXPECT_FALSE(writer->wakeEvent()->consume()) << "paused: it does not ask for more";
  writer->pause(false);
  EXPECT_TRUE(writer->wakeEvent()->consume()) << "resuming asks once";
  EXPECT_EQ(pumpToTheEnd(), 2);
  EXPECT_EQ(read_file(out).size(), 46u + 100000);
}

TEST_F(WavFileWriterTest, OutgrowingThirtyTwoBitSizesGivesRf64OrAFailureNeverAWrappedSize) {
  // Scaled down: room for ds64 above an estimate of 1000 bytes, and a RIFF size of at most 50000.
  limits = {.reserveAbove = 1000, .riffLimit = 50000};
  const struct {
    std::int32_t lengthSeconds;
    std::size_t bytes;
    bool failsAtEnd;
    std::optional<RiffForm> form;  // nothing: the destination stays as it was
    std::vector<std::string> messages;
  } rows[] = {{62, 100000, false, RiffForm::rf64, {}},
              {62, 20000, false, RiffForm::riff, {}},
              {0, 100000, false, std::nullopt, {"Write the output wav file error!"}},
              {62, 20000, true, std::nullopt, {}}};  // the engine reports a failed read
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.bytes) + (row.failsAtEnd ? " failing" : ""));
    write_file(out, {'o', 'l', 'd'});
    host.answers = {out};
    start({.lengthSeconds = row.lengthSeconds, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1}, row.bytes,
          row.failsAtEnd);
    pumpToTheEnd();
    EXPECT_EQ(writer->takeReadFailure(), row.failsAtEnd);
    EXPECT_EQ(std::exchange(host.messages, {}), row.messages);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
    const Bytes file = read_file(out);
    if (!row.form) {
      EXPECT_EQ(file, (Bytes{'o', 'l', 'd'}));
      continue;
    }
    const auto parse = read_wave_header(MemoryByteReader(file));
    ASSERT_EQ(parse.result, AudioFileResult::ok);
    EXPECT_EQ(parse.header->form, *row.form);
    EXPECT_EQ(parse.header->data.size, row.bytes);
    EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(parse.header->dataBegin), file.end()), stream_bytes(row.bytes));
    EXPECT_EQ(le32(file, row.form == RiffForm::rf64 ? 20 : 4), file.size() - 8) << "the RIFF size, in ds64 for RF64";
  }
}

}  // namespace
}  // namespace tunekiln::test
