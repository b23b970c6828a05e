// The WAV file writer as an output: the destination it asks for, the header, the sizes it puts
// right at the end, and what it leaves behind when the decoding does not get there. A write
// that fails on a full disk is checked through tunekiln-cli decode, in the command line's tests.
#include "engine/wav_file_writer.h"

#include <gtest/gtest.h>

#include "audiofile/wave_header.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

TEST(WavFileWriter, WritesWholeFilesOrLeavesTheOldOne) {
  TempDir dir;
  const std::string out = dir.file("out.wav");
  const StreamInfo cd{.lengthSeconds = 1, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1};
  const StreamInfo unknown{.sampleRate = 44100, .stereo = 1, .sixteenBit = 1};
  const std::string missing = dir.file("no/such.wav");
  using enum RiffForm;
  const struct {
    StreamInfo info;
    std::size_t bytes;
    // The answers to the prompts, then Cancel.
    std::vector<std::optional<std::string>> answers;
    bool failsAtEnd, stopAfterOnePump;
    // Nothing: the destination stays as it was
    std::optional<RiffForm> form;
    std::string reported;
  } rows[] = {
      {unknown, 20000, {out}, false, false, riff, ""},
      {{.lengthSeconds = 3, .sampleRate = 8000}, 0, {missing, out}, false, false, riff, ""},
      {{.lengthSeconds = 62, .sampleRate = 8000}, 100000, {out}, false, false, rf64, ""},
      // Too big for 32-bit sizes
      {unknown, 100000, {out}, false, false, std::nullopt, "WRITE_FAILED 0"},
      {cd, 20000, {out}, true, false, std::nullopt, "READ_FAILED"},
      // STOP, QUIT or another OPEN while writing
      {cd, 1000000, {out}, false, true, std::nullopt, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    write_file(out, {'o', 'l', 'd'});
    CallLog log;
    TestDecoder decoder("dec", log, {{"in", {row.info, row.bytes, row.failsAtEnd}}});
    decoder.open(OpenedFile{"in"});
    ScriptedDestination host;
    host.answer = [&row](std::size_t n) { return n < row.answers.size() ? row.answers[n] : std::nullopt; };
    NotificationQueue reports;
    // Scaled down: room for ds64 above an estimate of 1000 bytes, and a RIFF size of at most 50000.
    WavFileWriter writer(host, {.reserveAbove = 1000, .riffLimit = 50000});
    writer.reportTo(reports);
    writer.open(row.info);
    writer.attach(&decoder);
    do {
      writer.pump();
    } while (writer.attachedDecoder() != nullptr && !row.stopAfterOnePump);
    writer.close();
    EXPECT_EQ(host.prompts, row.answers.size()) << "a path that does not open is asked for again";
    const auto report = reports.poll();
    EXPECT_EQ(report ? describe(*report) : "", row.reported);
    const Bytes file = read_file(out);
    const auto parse = read_wave_header(MemoryByteReader(file));
    if (!row.form) {
      EXPECT_EQ(file, (Bytes{'o', 'l', 'd'}));
      continue;
    }
    ASSERT_EQ(parse.result, AudioFileResult::ok);
    EXPECT_EQ(parse.header->form, *row.form);
    EXPECT_EQ(parse.header->format.bytesPerFrame(), (row.info.stereo + 1) * (row.info.sixteenBit + 1));
    // The byte rate, in the format chunk that ends 8 bytes before the samples, against its other fields.
    EXPECT_EQ(le32(file, parse.header->dataBegin - 18), parse.header->format.bytesPerSecond());
    EXPECT_EQ(parse.header->data.size, row.bytes);
    const auto samples = file.begin() + static_cast<long>(parse.header->dataBegin);
    EXPECT_EQ(Bytes(samples, file.end()), stream_bytes(row.bytes));
    EXPECT_EQ(le32(file, row.form == rf64 ? 20 : 4), file.size() - 8) << "the RIFF size, in ds64 for RF64";
  }
}

}  // namespace
}  // namespace tunekiln::test
