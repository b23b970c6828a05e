// The four WAV operations through a scripted user: the files they write for every encoding and
// channel count, what they refuse, and what they leave when they stop.
#include "wavproc/wav_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "tests/support/failing_reader.h"
#include "tests/support/scripted_host.h"
#include "tests/support/wav_builder.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/output_header.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_texts.h"

namespace tunekiln::test {
namespace {

using Operation = std::function<OperationResult(ScriptedHost&, const ByteReader*)>;

using namespace std::placeholders;
const Operation left = std::bind(ExtractChannel, _1, Channel::left, _2);
const Operation right = std::bind(ExtractChannel, _1, Channel::right, _2);
const Operation clearVoice = std::bind(ClearVoice, _1, _2, std::nullopt);
// The user types `entry` into the volume dialog and presses OK.
Operation volume(const std::string& entry) {
  return [entry](ScriptedHost& host, const ByteReader* input) {
    host.volumeDialog = [entry] { return accept_volume_entry(entry); };
    return ChangeVolume(host, input);
  };
}
// The user enters a start and an end second, and their milliseconds, and presses OK.
Operation cut(std::string start, std::string end, std::string startMs = "", std::string endMs = "",
              std::uint32_t fadeMs = 0) {
  return [=](ScriptedHost& host, const ByteReader* input) {
    host.cutDialog = [=] {
      return accept_cut_entries({"0", "0", start, "0", "0", end, startMs, endMs}, fadeMs).accepted;
    };
    return CutByTime(host, input);
  };
}

constexpr std::uint32_t kRate = 2;  // frames a second: a cut of whole seconds takes a few frames
constexpr std::size_t kSecond = 176400;  // of 44.1 kHz 16-bit stereo
const Bytes kExistingOutput(4, 'k');

using Frame = std::vector<double>;

// A frame times `factor` as the file holds it: for integers, the whole parts (or the nearest
// whole numbers) clipped to the width.
Frame clip(const WavShape& shape, Frame f, double factor = 1, bool nearest = false) {
  const double limit = std::ldexp(1.0, shape.bits - 1);
  for (double& x : f) {
    const double whole = nearest ? std::round(x * factor) : std::trunc(x * factor);
    x = shape.formatTag == 3 ? x * factor : std::clamp(whole, -limit, limit - 1);
  }
  return f;
}

// Samples as stored: the extremes against each other (a float's beyond full scale), equal
// channels, values that 1.5 does not take to whole numbers.
std::vector<double> test_values(const WavShape& shape) {
  const double max = shape.formatTag == 3 ? 2.5 : std::ldexp(1.0, shape.bits - 1) - 1, min = -max - 1;
  return {max, min, min, max, -3, 3, 7, 7, 0, -1, 100, -101};
}

// The operations that take any channel count, last, and their output for frame `i`: left,
// right, clear voice, volume 1.5, and the cut from 0.4 s to 5.1 s (frames 1 to 10 of 12 values)
// with fades of 2 s (4 frames, at most half the result) in raised-cosine steps.
const std::pair<Operation, std::function<Frame(const WavShape&, Frame, std::size_t)>> kOperations[] = {
    {left, [](auto&, Frame f, auto) { return Frame{f[0]}; }},
    {right, [](auto&, Frame f, auto) { return Frame{f[1]}; }},
    {clearVoice, [](auto& shape, Frame f, auto) { return clip(shape, {f[1] - f[0]}); }},
    {volume("1.5"), [](auto& shape, Frame f, auto) { return clip(shape, f, 1.5); }},
    {cut("0", "5", "400", "100", 2000),
     [](auto& shape, Frame f, std::size_t i) {
       const std::size_t frames = std::min<std::size_t>(11, 12 / shape.channels) - 1, k = i - 1;
       if (i == 0 || k >= frames) return Frame{};
       const std::size_t fade = std::min<std::size_t>(4, frames / 2), edge = std::min(k, frames - 1 - k);
       return edge < fade ? clip(shape, f, 0.5 - 0.5 * std::cos(std::numbers::pi * edge / fade), true) : f;
     }},
};
constexpr std::size_t kFirstForAnyChannels = 3;

// The input is given as bytes; the user chooses the output for it too.
class WavOperations : public ::testing::Test {
 protected:
  WavOperations() { host.input = host.output = path; }
  Bytes output() const { return read_file(path); }

  TempDir dir;
  std::string path = dir.file("out.wav");
  ScriptedHost host;
};

TEST_F(WavOperations, EveryEncodingAndChannelCount) {
  const WavShape encodings[] = {{.bits = 8}, {.bits = 16}, {.bits = 24}, {.bits = 32},
                                {.bits = 32, .formatTag = 3}, {.bits = 24, .extensible = true},
                                {.bits = 64, .formatTag = 3, .rf64 = true}};
  // Chunks a reader must step over: one of odd size, with its pad byte, that holds "data", and a
  // sample count that only the operation can put right.
  Bytes junk = make_chunk("JUNK", {'d', 'a', 't', 'a', 1, 0, 0});
  junk.push_back(0);
  const auto fact = [](int frames) { return make_chunk("fact", samples16({frames, 0})); };
  for (WavShape shape : encodings) {
    for (const std::uint16_t channels : {1, 2, 3}) {
      shape.channels = channels, shape.sampleRate = kRate, shape.chunksBeforeFormat = junk;
      shape.chunksBeforeData = fact(0);
      const auto values = test_values(shape);
      Bytes input = make_wav(shape, encode_samples(shape, values));
      // A byte rate and block align (behind the junk, and a ds64) that do not fit the format go no
      // further than the input.
      std::fill_n(input.begin() + (shape.rf64 ? 80 : 44), 6, 0x55);
      for (std::size_t row = 0; row < std::size(kOperations); ++row) {
        if (row < kFirstForAnyChannels && channels != 2) continue;
        SCOPED_TRACE(testing::Message() << shape.bits << "/" << shape.formatTag << "/" << channels);
        const auto& [operation, rule] = kOperations[row];
        std::vector<double> expected;
        for (std::size_t i = 0; i < values.size() / channels; ++i) {
          const Frame out = rule(shape, {&values[i * channels], &values[(i + 1) * channels]}, i);
          expected.insert(expected.end(), out.begin(), out.end());
        }
        WavShape outShape = shape;
        outShape.channels = row < kFirstForAnyChannels ? 1 : channels;
        outShape.chunksBeforeData = fact(expected.size() / outShape.channels);
        const MemoryByteReader reader(input);
        ASSERT_EQ(operation(host, &reader).outcome, Outcome::finished) << row;
        EXPECT_EQ(output(), make_wav(outShape, encode_samples(outShape, expected)));
      }
    }
  }
}

// A refusal comes before the operation's own dialog, which the host fails the test for showing.
TEST_F(WavOperations, OutcomesAndKeptOutput) {
  using namespace wav_texts;
  using enum Outcome;
  const Bytes ramp = ramp_bytes(3 * kSecond + 6);  // ends inside a frame
  const Bytes threeSeconds = make_wav({.sampleRate = kRate}, Bytes(3 * kRate * 4, 0));
  const WavShape kFloat{.bits = 32, .formatTag = 3};
  const auto floats = [&](const Frame& values) { return make_wav(kFloat, encode_samples(kFloat, values)); };
  const struct {
    Bytes file;
    Operation operation;
    std::string_view message;
    std::optional<Bytes> output;  // nothing: failed, and the existing output stays
    std::uint64_t failFrom = UINT64_MAX;  // where reading fails, as on a failing disk
  } cases[] = {
      // A declared size of 0 means the end of the file; a torn last frame is left out.
      {make_wav({.declaredDataSize = 0}, samples16({1, -1, 2, -2, 3})), right, kRightFinished,
       make_wav({.channels = 1}, samples16({-1, -2}))},
      {make_wav({}, samples16({0, 1, -1, 0})), volume("1" + std::string(60, '0')),
       "change volume  finished!\n2 samples clipped (50.00 %)",
       make_wav({}, samples16({0, 32767, -32768, 0}))},
      // Infinite samples stay so, and are counted.
      {floats({-INFINITY, 0.5}), volume("2"),
       "change volume  finished!\n1 samples are infinite or NaN (50.00 %)", floats({-INFINITY, 1})},
      // An end past the data's: data behind the data chunk is neither processed nor copied.
      {make_wav({.bytesAfterData = make_chunk("LIST", Bytes(40, 'x'))}, ramp), cut("1", "59"), kCutFinished,
       make_wav({}, Bytes(ramp.begin() + kSecond, ramp.end() - 2))},
      {make_wav({.channels = 1}, Bytes(8)), left, kMustBeStereo},
      {make_wav({.bits = 12}, Bytes(8)), ChangeVolume, kUnsupportedEncoding},
      {make_wav({.channels = 0}, Bytes(8)), ChangeVolume, kUnrecognized},
      {threeSeconds, cut("3", "0"), kStartPastEnd},
      // At 2 Hz, 1.1 s and 1.4 s fall on one frame: nothing between them.
      {threeSeconds, cut("1", "1", "100", "400"), kStartBeforeEnd},
      // Refused entries (a second past a minute's last) stand for Cancel, which ends with no message.
      {threeSeconds, volume(""), ""},
      {threeSeconds, cut("0", "60"), ""},
      {threeSeconds, left, kReadError, {}, threeSeconds.size() - 2},
  };
  int row = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(row++);
    write_file(path, kExistingOutput);
    host.volumeDialog = host.cutDialog = nullptr;
    const FailingReader reader(c.file, c.failFrom);
    const auto result = c.operation(host, &reader);
    EXPECT_EQ(result.outcome, c.output ? finished : c.message.empty() ? cancelled : failed);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(output(), c.output.value_or(kExistingOutput));
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"}) << "nothing half-written is left";
}

TEST(OutputHeader, Rf64Past32BitSizes) {
  // Chunks before the format and the data bytes: the largest RIFF, one byte more, and an output
  // whose ds64 takes the place of a JUNK chunk that keeps room for it, as RF64 writers do.
  constexpr std::uint64_t kLargestRiff = 0xFFFFFFFFu + 8 - 44;
  const std::pair<Bytes, std::uint64_t> cases[] = {
      {{}, kLargestRiff}, {{}, kLargestRiff + 1}, {make_chunk("JUNK", Bytes(28, 'j')), 5ull << 30}};
  for (const auto& [chunksBeforeFormat, dataBytes] : cases) {
    SCOPED_TRACE(dataBytes);
    const Bytes input = make_wav({.chunksBeforeFormat = chunksBeforeFormat}, samples16({1, 2}));
    const WaveParse parse = read_wave_header(MemoryByteReader(input));
    const OutputHeader header(parse, parse.header->format, dataBytes);
    // The header as the operations write it: the copy, the insertion behind "WAVE", the fields.
    Bytes out(input.begin(), input.begin() + header.copiedBytes());
    out.insert(out.begin() + 12, header.inserted().begin(), header.inserted().end());
    for (const auto& patch : header.patches(dataBytes)) {
      std::copy(patch.bytes.begin(), patch.bytes.end(), out.begin() + patch.offset);
    }
    const auto written = read_wave_header(MemoryByteReader(out));
    ASSERT_EQ(written.result, AudioFileResult::ok);
    EXPECT_EQ(written.header->form, dataBytes > kLargestRiff ? RiffForm::rf64 : RiffForm::riff);
    EXPECT_EQ(written.header->data.size, dataBytes);
    EXPECT_EQ(le32(out, 4), 0xFFFFFFFFu);  // the largest RIFF's own size, or "see ds64"
  }
}

}  // namespace
}  // namespace tunekiln::test
