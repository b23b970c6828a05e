// The four WAV operations through a scripted user: the files they write for every encoding,
// what they refuse and why, and what they leave when they stop; and their dialogs' checks.
#include "wavproc/wav_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>

#include "tests/support/failing_reader.h"
#include "tests/support/scripted_host.h"
#include "tests/support/wav_builder.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/output_header.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {
namespace {

// An operation on the bytes of `input`, or on the file the host names when there are none.
using Operation = std::function<OperationResult(ScriptedHost&, const ByteReader*)>;

const Operation left = [](ScriptedHost& host, auto input) { return ExtractChannel(host, Channel::left, input); };
const Operation right = [](ScriptedHost& host, auto input) { return ExtractChannel(host, Channel::right, input); };
const Operation clearVoice = [](ScriptedHost& host, auto input) { return ClearVoice(host, input); };
// The user types `entry` into the volume dialog and presses OK.
Operation volume(const std::string& entry) {
  return [entry](ScriptedHost& host, const ByteReader* input) {
    host.volumeDialog = [entry] { return accept_volume_entry(entry); };
    return ChangeVolume(host, input);
  };
}
// The user enters a time range (hours, minutes, seconds twice) and presses OK.
Operation cut(const CutEntries& entries) {
  return [entries](ScriptedHost& host, const ByteReader* input) {
    host.cutDialog = [entries] { return accept_cut_entries(entries).accepted; };
    return CutByTime(host, input);
  };
}

constexpr std::uint32_t kRate = 4;  // frames a second: a cut of whole seconds takes a few frames
constexpr std::size_t kSecond = 176400;  // of 44.1 kHz 16-bit stereo
const Bytes kExistingOutput{'k', 'e', 'e', 'p'};

bool is_float(const WavShape& shape) { return shape.formatTag == 3; }
double full_scale(const WavShape& shape) { return std::ldexp(1.0, shape.bits - 1); }
// A result as the file holds it: for integers, the whole part clipped to the width.
double clip(const WavShape& shape, double value) {
  return is_float(shape) ? value : std::clamp(std::trunc(value), -full_scale(shape), full_scale(shape) - 1);
}

// The test's own writing of sample values in the shape's encoding.
Bytes encode(const WavShape& shape, const std::vector<double>& values) {
  Bytes out;
  for (const double value : values) {
    const auto narrow = static_cast<float>(value);
    const auto integer = static_cast<std::int64_t>(value) + (shape.bits == 8 ? 128 : 0);
    const void* bytes = is_float(shape) ? (shape.bits == 32 ? static_cast<const void*>(&narrow) : &value) : &integer;
    out.insert(out.end(), static_cast<const std::uint8_t*>(bytes), static_cast<const std::uint8_t*>(bytes) + shape.bits / 8);
  }
  return out;
}

// Stereo frames: the extremes against each other, equal channels, odd values that a factor of
// 1.5 does not take to whole numbers.
std::vector<double> stereo_values(const WavShape& shape) {
  if (is_float(shape)) return {0.5, -0.75, 1.5, -2, -1, 1, 0.25, 0.25, 3, -3, 0, -0.125, 0.375, 0.0625, 2, 1};
  const double max = full_scale(shape) - 1, min = -full_scale(shape);
  return {max, min, min, max, -3, 3, 7, 7, 0, -1, 100, -100, 1, 0, min, min, max, max, 5, -5, -7, 9, 64, -64};
}

// An operation, its output's channels, and what it makes of each frame from `first` to `end`
// (left l, right r).
using FrameRule = std::function<std::vector<double>(const WavShape&, double l, double r)>;
const std::tuple<const char*, Operation, std::uint16_t, std::size_t, std::size_t, FrameRule> kOperations[] = {
    {"left", left, 1, 0, SIZE_MAX, [](auto&, double l, double) { return std::vector{l}; }},
    {"right", right, 1, 0, SIZE_MAX, [](auto&, double, double r) { return std::vector{r}; }},
    {"clear voice", clearVoice, 1, 0, SIZE_MAX, [](auto& shape, double l, double r) { return std::vector{clip(shape, r - l)}; }},
    {"volume 1.5", volume("1.5"), 2, 0, SIZE_MAX, [](auto& shape, double l, double r) { return std::vector{clip(shape, l * 1.5), clip(shape, r * 1.5)}; }},
    {"cut 0:00:01 to 0:00:02", cut({"0", "0", "1", "0", "0", "2"}), 2, kRate, 2 * kRate, [](auto&, double l, double r) { return std::vector{l, r}; }},
};

class WavOperations : public ::testing::Test {
 protected:
  void SetUp() override { host.input = inputPath, host.output = outputPath; }
  Bytes output() const { return read_file(outputPath); }

  TempDir dir;
  ScriptedHost host;
  std::string inputPath = dir.file("in.wav"), outputPath = dir.file("out.wav");
};

TEST_F(WavOperations, EveryEncodingGivesTheSamplesOfItsOwnReadingAndAHeaderThatSaysSo) {
  const WavShape encodings[] = {{.bits = 8},  {.bits = 16}, {.bits = 24}, {.bits = 32}, {.bits = 32, .formatTag = 3},
                                {.bits = 64, .formatTag = 3}, {.bits = 24, .extensible = true},
                                {.bits = 64, .formatTag = 3, .rf64 = true}};
  // Chunks a reader must step over: an odd size with its pad byte, a title holding "da", and a
  // sample count that only the operation can put right.
  Bytes junk = make_chunk("JUNK", Bytes(7, 'd'));
  junk.push_back(0);
  const Bytes list = make_info_list({{"INAM", "Canada day"}});
  junk.insert(junk.end(), list.begin(), list.end());
  const auto fact = [](std::size_t frames) { return make_chunk("fact", {static_cast<std::uint8_t>(frames), 0, 0, 0}); };
  for (WavShape shape : encodings) {
    shape.sampleRate = kRate;
    shape.chunksBeforeFormat = junk;
    shape.chunksBeforeData = fact(0);
    const auto values = stereo_values(shape);
    const Bytes input = make_wav(shape, encode(shape, values));
    for (const auto& [name, operation, channels, first, end, rule] : kOperations) {
      SCOPED_TRACE(std::to_string(shape.bits) + " bits, tag " + std::to_string(shape.formatTag) + ", " + name);
      std::vector<double> expected;
      for (std::size_t frame = first; frame < std::min(end, values.size() / 2); ++frame) {
        const auto samples = rule(shape, values[2 * frame], values[2 * frame + 1]);
        expected.insert(expected.end(), samples.begin(), samples.end());
      }
      WavShape outShape = shape;
      outShape.channels = channels;
      outShape.chunksBeforeData = fact(expected.size() / channels);
      const MemoryByteReader reader(input);
      ASSERT_EQ(operation(host, &reader).outcome, Outcome::finished);
      EXPECT_EQ(output(), make_wav(outShape, encode(outShape, expected)));
    }
  }
}

TEST_F(WavOperations, EachEdgeOfAFileEndsInSamplesOrInAFailureThatSaysWhy) {
  const Bytes ramp = ramp_bytes(3 * kSecond + 6);  // ends inside a frame
  const Bytes threeSeconds = make_wav({.sampleRate = kRate}, Bytes(3 * kRate * 4, 0));
  const std::string unrecognized = "can not recongnize this file format!", readError = "Read the input wav file error!";
  const std::string unsupported = "Only Support 8, 16, 24 or 32 bits PCM or 32 or 64 bits float wav file!";
  const Operation cutFirstSecond = cut({"0", "0", "0", "0", "0", "1"});
  const struct {
    const char* name;
    Bytes file;
    Operation operation;
    std::string message;
    std::optional<Bytes> samples;  // nothing: failed, and the existing output stays
    std::string cause = "";        // of the failure's reason, which concerns the input
    int dialogs = 0;
    std::uint64_t failFrom = UINT64_MAX;  // where reading fails, as on a failing disk
  } cases[] = {
      // A declared size of 0 means the end of the file; a torn last frame is left out.
      {"size 0", make_wav({.declaredDataSize = 0}, samples16({1, -1, 2, -2, 3})), right, "Abstract right channel finished!", samples16({-1, -2})},
      {"volume beyond float range", make_wav({}, samples16({0, 1, -1, 0})), volume("1" + std::string(60, '0')),
       "change volume  finished!\n2 samples clipped (50.00 %)", samples16({0, 32767, -32768, 0}), "", 1},
      // Data behind the data chunk is neither processed nor copied.
      {"cut to the end", make_wav({.bytesAfterData = make_chunk("LIST", Bytes(40, 'x'))}, ramp),
       cut({"0", "0", "1", "0", "0", "0"}), "cut the file finished!", Bytes(ramp.begin() + kSecond, ramp.end() - 2), "", 1},
      {"cut past the end", make_wav({}, ramp), cut({"0", "0", "2", "1", "0", "0"}), "cut the file finished!",
       Bytes(ramp.begin() + 2 * kSecond, ramp.end() - 2), "", 1},
      {"mono", make_wav({.channels = 1}, Bytes(8)), left, "Input wav file must be stereo!", {}, "16-bit PCM in a 1-channel file is not supported"},
      // The encoding is checked before the operation's own dialog.
      {"12 bits", make_wav({.bits = 12}, Bytes(8)), volume("2"), unsupported, {}, "12-bit PCM in a 2-channel file is not supported"},
      {"A-law", make_wav({.bits = 8, .formatTag = 6}, Bytes(8)), cutFirstSecond, unsupported, {}, "A-law in a 2-channel file is not supported"},
      {"text", Bytes(100, 'a'), clearVoice, unrecognized, {}, "not a WAV file"},
      {"no channels", make_wav({.channels = 0}, Bytes(8)), volume("2"), unrecognized, {}, "the WAV header is damaged or incomplete"},
      {"format behind the data", make_wav({.formatBehindData = true}, samples16({1, 2})), cutFirstSecond, unrecognized, {},
       "the format chunk stands behind the data"},
      {"cut at the end", threeSeconds, cut({"0", "0", "3", "0", "0", "0"}), "start time is past the end of the file!", {}, "", 1},
      {"header unreadable", threeSeconds, right, readError, {}, "", 0, 30},
      {"left unreadable", threeSeconds, left, readError, {}, "", 0, threeSeconds.size() - 2},
      // Clear voice first reads all to find equal channels.
      {"clear voice unreadable", threeSeconds, clearVoice, readError, {}, "", 0, threeSeconds.size() - 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(outputPath, kExistingOutput);
    host.parameterDialogsShown = 0;
    const FailingReader reader(c.file, c.failFrom);
    const auto result = c.operation(host, &reader);
    EXPECT_EQ(result.outcome, c.samples ? Outcome::finished : Outcome::failed);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(result.reason ? result.reason->cause : "", c.cause);
    EXPECT_TRUE(!result.reason || result.reason->file == FailedFile::input);
    EXPECT_EQ(host.parameterDialogsShown, c.dialogs);
    const Bytes out = output();
    ASSERT_TRUE(!c.samples || out.size() > 44) << "a finished operation leaves its output";
    EXPECT_EQ(out, c.samples ? make_wav({.channels = le16(out, 22)}, *c.samples) : kExistingOutput);
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"}) << "nothing half-written is left";
}

TEST_F(WavOperations, CancelledDialogsEndSilentlyAndLeaveEveryFileAsItWas) {
  write_file(inputPath, make_wav({}, samples16({1, 2})));
  write_file(outputPath, kExistingOutput);
  host.volumeDialog = host.cutDialog = [] { return false; };
  const auto cancelled = [](const OperationResult& result) { return result.outcome == Outcome::cancelled && result.message.empty(); };
  EXPECT_TRUE(cancelled(ChangeVolume(host)));
  EXPECT_TRUE(cancelled(CutByTime(host)));
  host.output.reset();
  EXPECT_TRUE(cancelled(left(host, nullptr)));
  host.input.reset();
  EXPECT_TRUE(cancelled(right(host, nullptr)));
  EXPECT_EQ(output(), kExistingOutput);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(WavOperations, ProgressRisesInEqualStepsOverWhatIsReadToExactlyTheEnd) {
  // Data bytes, the operation, and its steps: one for every 16384 bytes of samples read. A cut's
  // share of the file is the whole bar.
  const std::tuple<std::size_t, Operation, std::size_t> cases[] = {
      {5 * 16384 + 100, clearVoice, 5}, {16380, left, 0}, {8 * kSecond, cut({"0", "0", "3", "0", "0", "7"}), 4 * kSecond / 16384}};
  for (const auto& [dataBytes, operation, steps] : cases) {
    write_file(inputPath, make_wav({}, Bytes(dataBytes, 0)));
    host.positions.clear();
    ASSERT_EQ(operation(host, nullptr).outcome, Outcome::finished);
    const auto& at = host.positions;
    ASSERT_EQ(at.size(), steps + 2) << dataBytes;
    EXPECT_EQ(at.back(), kProgressEnd);
    // Every step, the first one from 0 included, is as large as the first.
    for (std::size_t i = 1; i + 1 < at.size(); ++i) EXPECT_EQ(at[i] - at[i - 1], at[1]);
    // The steps cover what was read: the last lies within one step of the end (which also rules out steps of 0).
    EXPECT_TRUE(steps == 0 || (at[steps] <= kProgressEnd && at[steps] + at[1] > kProgressEnd));
  }
}

TEST(OutputHeader, AnOutputPastTheThirtyTwoBitSizesBecomesRf64) {
  const PcmFormat mono = *PcmFormat::make(44100, 1, SampleEncoding::signed16);
  // Chunks before the format, the data bytes, and the bytes inserted for a ds64: none for the
  // largest RIFF, none where a JUNK chunk keeps room for it as RF64 writers do.
  const std::tuple<Bytes, std::uint64_t, std::size_t> cases[] = {
      {{}, 0xFFFFFFFFu + 8 - 44, 0}, {{}, 0xFFFFFFFFu + 8 - 44 + 1, 36}, {make_chunk("JUNK", Bytes(28, 'j')), 5ull << 30, 0}};
  for (const auto& [chunksBeforeFormat, dataBytes, inserted] : cases) {
    const Bytes input = make_wav({.chunksBeforeFormat = chunksBeforeFormat}, samples16({1, 2}));
    const OutputHeader header(read_wave_header(MemoryByteReader(input)), mono, dataBytes);
    ASSERT_EQ(header.inserted().size(), inserted) << dataBytes;
    // The header as the operations write it: the copy, the insertion behind "WAVE", the fields.
    Bytes out(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(header.copiedBytes()));
    out.insert(out.begin() + 12, header.inserted().begin(), header.inserted().end());
    for (const auto& patch : header.patches(dataBytes)) {
      std::copy(patch.bytes.begin(), patch.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    }
    const auto written = read_wave_header(MemoryByteReader(out));
    ASSERT_EQ(written.result, AudioFileResult::ok);
    EXPECT_EQ(written.header->form, dataBytes > 0xFFFFFFFFu + 8 - 44 ? RiffForm::rf64 : RiffForm::riff);
    EXPECT_EQ(written.header->data.size, dataBytes);
    EXPECT_EQ(le32(out, 4), 0xFFFFFFFFu);  // the largest RIFF's own size, or "see ds64"
  }
}

TEST(CutDialog, EveryFieldMustBeAnIntegerInItsRangeAndStartBeforeEnd) {
  const std::pair<CutEntries, std::string> refused[] = {
      {{"24", "0", "0", "0", "0", "0"}, "Please enter an integer between 0 and 23."},
      {{"0", "0", "0", "0", "0", "60"}, "Please enter an integer between 0 and 59."},
      {{"0", "1.5", "0", "0", "0", "5"}, "Please enter an integer."},
      {{"0", "0", "0", "99999999999999999999999", "0", "0"}, "Please enter an integer between 0 and 23."},
      {{"0", "0", "5", "0", "0", "5"}, "start time must be less than end time!"}};
  for (const auto& [entries, message] : refused) {
    const auto result = accept_cut_entries(entries);
    EXPECT_FALSE(result.accepted) << entries[0] << ":" << entries[2];
    EXPECT_EQ(result.message, message);
  }
  // An end of 0:00:00 stands for the end of the file, after any start.
  EXPECT_TRUE(accept_cut_entries({" 5 ", "0", "0", "0", "0", "0"}).accepted);
  EXPECT_EQ(g_cutEndSeconds, 0u);
}

TEST(VolumeDialog, OkTakesOnlyDigitsAndPointsStartingWithADigitAndARefusalStoresNothing) {
  g_volumeMultiple = 3;
  for (const char* entry : {"-1", " 2", "1e3", "+2", "2x", ".5", ""}) EXPECT_FALSE(accept_volume_entry(entry)) << entry;
  EXPECT_EQ(g_volumeMultiple, 3.0f);
  EXPECT_TRUE(accept_volume_entry("1.2.3"));
  EXPECT_EQ(g_volumeMultiple, 1.2f);  // read as the C library reads a number
  EXPECT_EQ(volume_decibel_text("2") + " " + volume_decibel_text("0.5x") + " " + volume_decibel_text("abc"), "6.02 -6.02 -inf");
  // The lines under the entry: the headroom, and what the multiple typed so far would clip.
  EXPECT_EQ(volume_headroom_text(-6.02, 1.99), "Peak -6.02 dBFS; the largest multiple that does not clip is 1.99.");
  EXPECT_EQ(volume_headroom_text(-INFINITY, std::nullopt), "The file is silent: no multiple can clip it.");
  EXPECT_EQ(volume_clipping_text(0, 100), "");
  EXPECT_EQ(volume_clipping_text(1, 300000), "1 samples would clip (0.00033 %)");
}

}  // namespace
}  // namespace tunekiln::test
