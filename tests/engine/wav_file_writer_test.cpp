// The WAV file writer as an output: the destination it asks for, the header, the sizes it puts
// right at the end, and what it leaves behind when the decoding does not get there. A write
// that fails on a full disk is checked through tunekiln-cli decode, in the command line's tests.
#include "engine/wav_file_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "audiofile/wave_header.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

TEST(WavFileWriter, WritesWholeFilesOrLeavesTheDestinationAsItWas) {
  TempDir dir;
  const std::string out = dir.file("out.wav");
  // Scaled down: room for ds64 above an estimate of 1000 bytes, and a RIFF size of at most 50000.
  const WavSizeLimits limits{.reserveAbove = 1000, .riffLimit = 50000};
  const StreamInfo cd{.lengthSeconds = 1, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};
  const StreamInfo unknownLength{.sampleRate = 44100, .stereo = 1, .sixteenBit = 1};
  const struct {
    StreamInfo info;
    std::size_t bytes;
    std::vector<std::optional<std::string>> answers;  // then Cancel
    std::size_t prompts;
    bool failsAtEnd, stopAfterOnePump;
    std::optional<RiffForm> form;  // nothing: the destination stays as it was
    std::string reported;
  } rows[] = {
      {unknownLength, 20000, {out}, 1, false, false, RiffForm::riff, ""},
      {{.lengthSeconds = 3, .sampleRate = 8000}, 0, {dir.file("no/such/folder.wav"), out}, 2, false, false, RiffForm::riff, ""},
      {{.lengthSeconds = 62, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1}, 100000, {out}, 1, false, false, RiffForm::rf64, ""},
      {unknownLength, 100000, {out}, 1, false, false, std::nullopt, "WRITE_FAILED 0"},  // too big for 32-bit sizes
      {cd, 20000, {out}, 1, true, false, std::nullopt, "READ_FAILED"},
      {cd, 100000, {out}, 1, false, true, std::nullopt, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.bytes) + " bytes, answers " + std::to_string(row.answers.size()));
    write_file(out, {'o', 'l', 'd'});
    CallLog log;
    TestDecoder decoder("dec", log, {{"in", {row.info, row.bytes, row.failsAtEnd}}});
    decoder.open("in");
    ScriptedDestination host;
    host.answer = [&row](std::size_t n) { return n < row.answers.size() ? row.answers[n] : std::nullopt; };
    NotificationQueue reports;
    WavFileWriter writer(host, limits);
    writer.reportTo(reports);
    writer.open(row.info);
    writer.attach(&decoder);
    while (writer.attachedDecoder() != nullptr) {
      writer.pump();
      EXPECT_TRUE(writer.wakeEvent()->consume()) << "every pump asks for the next";
      EXPECT_TRUE(dir.entries() == std::vector<std::string>{"out.wav"}) << "written beside it, put in place whole";
      if (row.stopAfterOnePump) break;  // STOP, QUIT or another OPEN while writing
    }
    writer.close();
    EXPECT_EQ(host.prompts, row.prompts) << "a path that does not open is asked for again, Cancel is not";
    const auto report = reports.poll();
    EXPECT_EQ(report ? describe(*report) : "", row.reported);
    const Bytes file = read_file(out);
    if (!row.form) {
      EXPECT_EQ(file, (Bytes{'o', 'l', 'd'}));
      continue;
    }
    const auto parse = read_wave_header(MemoryByteReader(file));
    ASSERT_EQ(parse.result, AudioFileResult::ok);
    EXPECT_EQ(parse.header->form, *row.form);
    EXPECT_EQ(parse.header->format.channels(), row.info.stereo + 1);
    EXPECT_EQ(parse.header->data.size, row.bytes);
    EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(parse.header->dataBegin), file.end()), stream_bytes(row.bytes));
    EXPECT_EQ(le32(file, row.form == RiffForm::rf64 ? 20 : 4), file.size() - 8) << "the RIFF size, in ds64 for RF64";
  }
}

}  // namespace
}  // namespace tunekiln::test
