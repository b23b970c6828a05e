// The four WAV operations through a scripted user: the files they write for every encoding,
// what they refuse and how they end, and what they leave when they stop.
#include "wavproc/wav_operations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/support/failing_reader.h"
#include "tests/support/scripted_host.h"
#include "tests/support/wav_builder.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/output_header.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_texts.h"

namespace tunekiln::test {
namespace {

// An operation on the bytes of `input`, or on the file the host names when there are none.
using Operation = std::function<Outcome(ScriptedHost&, const ByteReader*)>;

const Operation left = [](ScriptedHost& host, auto input) { return ExtractChannel(host, Channel::left, input); };
const Operation right = [](ScriptedHost& host, auto input) { return ExtractChannel(host, Channel::right, input); };
const Operation clearVoice = [](ScriptedHost& host, const ByteReader* input) { return ClearVoice(host, input); };
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
const Bytes kExistingOutput{'k', 'e', 'e', 'p'};

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

bool is_float(const WavShape& shape) { return shape.formatTag == 3; }
double full_scale(const WavShape& shape) { return std::ldexp(1.0, shape.bits - 1); }

// The test's own writing of sample values in the shape's encoding.
Bytes encode(const WavShape& shape, const std::vector<double>& values) {
  Bytes out;
  for (const double value : values) {
    const auto narrow = static_cast<float>(value);
    const auto integer = static_cast<std::int64_t>(value) + (shape.bits == 8 ? 128 : 0);
    const void* bytes = is_float(shape) ? (shape.bits == 32 ? static_cast<const void*>(&narrow) : &value) : &integer;
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    out.insert(out.end(), first, first + shape.bits / 8);
  }
  return out;
}

// Twelve stereo frames: the extremes against each other, equal channels, odd values that a
// factor of 1.5 does not take to whole numbers.
std::vector<double> stereo_values(const WavShape& shape) {
  if (is_float(shape)) return {0.5, -0.75, 1.5, -2, -1, 1, 0.25, 0.25, 3, -3, 0, -0.125, 0.375, 0.0625, 2, 1};
  const double max = full_scale(shape) - 1, min = -full_scale(shape);
  return {max, min, min, max, -3, 3, 7, 7, 0, -1, 100, -100, 1, 0, min, min, max, max, 5, -5, -7, 9, 64, -64};
}

// An integer result as the file holds it: clipped to the width.
double clip(const WavShape& shape, double value) {
  return is_float(shape) ? value : std::clamp(value, -full_scale(shape), full_scale(shape) - 1);
}

// An operation and what it makes of the frames from `first` to `end` (left l, right r).
struct OperationRow {
  const char* name;
  Operation run;
  std::uint16_t channels;
  std::size_t first, end;
  std::function<std::vector<double>(const WavShape&, double l, double r)> frame;
};

const OperationRow kOperations[] = {
    {"left", left, 1, 0, SIZE_MAX, [](const WavShape&, double l, double) { return std::vector{l}; }},
    {"right", right, 1, 0, SIZE_MAX, [](const WavShape&, double, double r) { return std::vector{r}; }},
    {"clear voice", clearVoice, 1, 0, SIZE_MAX,
     [](const WavShape& shape, double l, double r) { return std::vector{clip(shape, r - l)}; }},
    {"volume 1.5", volume("1.5"), 2, 0, SIZE_MAX,
     [](const WavShape& shape, double l, double r) {
       const auto scale = [&](double v) { return clip(shape, is_float(shape) ? v * 1.5 : std::trunc(v * 1.5)); };
       return std::vector{scale(l), scale(r)};
     }},
    {"cut 0:00:01 to 0:00:02", cut({"0", "0", "1", "0", "0", "2"}), 2, kRate, 2 * kRate,
     [](const WavShape&, double l, double r) { return std::vector{l, r}; }},
};

class WavOperations : public ::testing::Test {
 protected:
  void givenInput(const Bytes& bytes) {
    write_file(inputPath, bytes);
    host.input = inputPath;
    host.output = outputPath;
  }
  Bytes output() const { return read_file(outputPath); }

  TempDir dir;
  ScriptedHost host;
  std::string inputPath = dir.file("in.wav");
  std::string outputPath = dir.file("out.wav");
};

TEST_F(WavOperations, EveryEncodingGivesTheSamplesOfItsOwnReadingAndAHeaderThatSaysSo) {
  const struct {
    const char* name;
    WavShape shape;
  } encodings[] = {
      {"8-bit", {.bits = 8}},
      {"16-bit", {.bits = 16}},
      {"24-bit", {.bits = 24}},
      {"32-bit", {.bits = 32}},
      {"32-bit float", {.bits = 32, .formatTag = 3}},
      {"64-bit float", {.bits = 64, .formatTag = 3}},
      {"EXTENSIBLE 24-bit", {.bits = 24, .extensible = true}},
      {"EXTENSIBLE 32-bit float", {.bits = 32, .formatTag = 3, .extensible = true}},
      {"RF64 16-bit", {.bits = 16, .rf64 = true}},
      {"RF64 64-bit float", {.bits = 64, .formatTag = 3, .rf64 = true}},
  };
  // Chunks a reader must step over: an odd size with its pad byte, a title holding "da", and a
  // sample count that only the operation can put right.
  Bytes junk = make_chunk("JUNK", Bytes(7, 'd'));
  junk.push_back(0);
  const auto chunks_before_data = [](std::uint32_t frames) {
    Bytes chunks = make_info_list({{"INAM", "Canada day"}});
    const Bytes fact = make_chunk("fact", {static_cast<std::uint8_t>(frames), 0, 0, 0});
    chunks.insert(chunks.end(), fact.begin(), fact.end());
    return chunks;
  };
  host.input = inputPath;  // named by the dialog, read from memory
  host.output = outputPath;
  for (const auto& encoding : encodings) {
    WavShape shape = encoding.shape;
    shape.sampleRate = kRate;
    shape.chunksBeforeFormat = junk;
    const auto values = stereo_values(shape);
    shape.chunksBeforeData = chunks_before_data(0);
    const Bytes input = make_wav(shape, encode(shape, values));
    for (const auto& operation : kOperations) {
      SCOPED_TRACE(std::string(encoding.name) + ", " + operation.name);
      std::vector<double> expected;
      for (std::size_t frame = operation.first; frame < std::min(operation.end, values.size() / 2); ++frame) {
        const auto samples = operation.frame(shape, values[2 * frame], values[2 * frame + 1]);
        expected.insert(expected.end(), samples.begin(), samples.end());
      }
      WavShape outShape = shape;
      outShape.channels = operation.channels;
      outShape.chunksBeforeData = chunks_before_data(static_cast<std::uint32_t>(expected.size()) / operation.channels);

      const MemoryByteReader reader(input);
      ASSERT_EQ(operation.run(host, &reader), Outcome::finished) << host.messages.back();
      EXPECT_EQ(output(), make_wav(outShape, encode(outShape, expected)));
    }
  }
}

TEST_F(WavOperations, SamplesEndWithTheDataChunkOrTheFile) {
  constexpr std::size_t kSecond = 176400;  // 44.1 kHz 16-bit stereo
  const Bytes ramp = ramp_bytes(3 * kSecond + 6);  // ends inside a frame
  const Bytes list = make_chunk("LIST", Bytes(40, 'x'));
  const struct {
    const char* name;
    WavShape shape;
    Bytes samples;
    Operation operation;
    Bytes expected;
  } cases[] = {
      // A declared size of 0 means the end of the file; a torn last frame is left out.
      {"size 0", {.declaredDataSize = 0}, samples16({1, -1, 2, -2, 3}), right, samples16({-1, -2})},
      {"volume beyond float range", {}, samples16({0, 1, -1, 0}), volume("1" + std::string(60, '0')),
       samples16({0, 32767, -32768, 0})},
      // Data behind the data chunk is neither processed nor copied.
      {"cut to the end", {.bytesAfterData = list}, ramp, cut({"0", "0", "1", "0", "0", "0"}),
       slice(ramp, kSecond, 3 * kSecond + 4)},
      {"cut past the end", {}, ramp, cut({"0", "0", "2", "1", "0", "0"}), slice(ramp, 2 * kSecond, 3 * kSecond + 4)},
  };
  host.input = inputPath;
  host.output = outputPath;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes input = make_wav(c.shape, c.samples);
    const MemoryByteReader reader(input);
    ASSERT_EQ(c.operation(host, &reader), Outcome::finished);
    const Bytes out = output();
    EXPECT_EQ(slice(out, 44, out.size()), c.expected);
    EXPECT_EQ(le32(out, 40), c.expected.size());
    EXPECT_EQ(le32(out, 4), out.size() - 8);
  }
}

TEST_F(WavOperations, RefusalsAndFailuresSayWhyAndLeaveTheOutputAlone) {
  const Bytes threeSeconds = make_wav({.sampleRate = kRate}, Bytes(3 * kRate * 4, 0));
  const Bytes formatBehindData = [] {
    const Bytes wav = make_wav({}, samples16({1, 2}));
    Bytes file{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    file.insert(file.end(), wav.begin() + 36, wav.end());        // the data chunk
    file.insert(file.end(), wav.begin() + 12, wav.begin() + 36);  // the format chunk
    return file;
  }();
  const struct {
    const char* name;
    Bytes file;
    Operation operation;
    std::string_view message;
    std::string cause;  // of the reason line, behind the input's name
    int dialogs = 0;
    std::uint64_t failFrom = UINT64_MAX;  // where reading fails, as on a failing disk
  } cases[] = {
      {"mono", make_wav({.channels = 1}, Bytes(8)), left, wav_texts::kMustBeStereo,
       "16-bit PCM in a 1-channel file is not supported"},
      {"six channels", make_wav({.channels = 6, .bits = 24, .formatTag = 3}, Bytes(36)), clearVoice,
       wav_texts::kMustBeStereo, "24-bit float in a 6-channel file is not supported"},
      // The encoding is checked before the operation's own dialog.
      {"12 bits", make_wav({.bits = 12}, Bytes(8)), volume("2"), wav_texts::kUnsupportedEncoding,
       "12-bit PCM in a 2-channel file is not supported"},
      {"A-law", make_wav({.bits = 8, .formatTag = 6}, Bytes(8)), cut({"0", "0", "0", "0", "0", "1"}),
       wav_texts::kUnsupportedEncoding, "A-law in a 2-channel file is not supported"},
      {"text", Bytes(100, 'a'), left, wav_texts::kUnrecognized, "not a WAV file"},
      {"no channels", make_wav({.channels = 0}, Bytes(8)), volume("2"), wav_texts::kUnrecognized,
       "the WAV header is damaged or incomplete"},
      {"format behind the data", formatBehindData, cut({"0", "0", "0", "0", "0", "1"}), wav_texts::kUnrecognized,
       "the format chunk stands behind the data"},
      {"cut at the end", threeSeconds, cut({"0", "0", "3", "0", "0", "0"}), wav_texts::kStartPastEnd, "", 1},
      {"header unreadable", threeSeconds, right, wav_texts::kReadError, "", 0, 30},
      {"left unreadable", threeSeconds, left, wav_texts::kReadError, "", 0, threeSeconds.size() - 2},
      {"volume unreadable", threeSeconds, volume("2"), wav_texts::kReadError, "", 1, threeSeconds.size() - 2},
  };
  host.input = inputPath;
  host.output = outputPath;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(outputPath, kExistingOutput);
    host.parameterDialogsShown = 0;
    const FailingReader reader(c.file, c.failFrom);
    EXPECT_EQ(c.operation(host, &reader), Outcome::failed);
    EXPECT_EQ(host.messages.back(), c.message);
    EXPECT_EQ(host.reasons.back(), c.cause.empty() ? "" : inputPath + ": " + c.cause);
    EXPECT_EQ(host.parameterDialogsShown, c.dialogs);
    EXPECT_EQ(output(), kExistingOutput);
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"}) << "nothing half-written is left";
}

TEST_F(WavOperations, CancelledDialogsEndSilentlyAndLeaveEveryFileAsItWas) {
  givenInput(make_wav({}, samples16({1, 2})));
  host.input.reset();
  EXPECT_EQ(left(host, nullptr), Outcome::cancelled);
  host.input = inputPath;
  host.output.reset();
  EXPECT_EQ(left(host, nullptr), Outcome::cancelled);
  ASSERT_EQ(host.dialogsShown.size(), 3u);
  for (const auto& dialog : host.dialogsShown) {
    EXPECT_EQ(dialog.filter, "Wav File(*.wav)|*.wav||");
    EXPECT_EQ(dialog.defaultExtension, "Wav File(*.wav)|*.wav");
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});

  host.output = outputPath;
  write_file(outputPath, kExistingOutput);
  host.volumeDialog = [] { return false; };
  EXPECT_EQ(ChangeVolume(host), Outcome::cancelled);
  host.cutDialog = [] { return false; };
  EXPECT_EQ(CutByTime(host), Outcome::cancelled);
  EXPECT_EQ(output(), kExistingOutput);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(WavOperations, ProgressStepsEvery16384BytesAndEndsAtTheTop) {
  const std::size_t dataBytes = 5 * 16384 + 100;
  givenInput(make_wav({}, Bytes(dataBytes, 0)));
  ASSERT_EQ(clearVoice(host, nullptr), Outcome::finished);
  const auto step = static_cast<std::int32_t>(1000000.0f / static_cast<float>(44 + dataBytes) * 16384.0f);
  EXPECT_EQ(host.positions, (std::vector<std::int32_t>{0, step, 2 * step, 3 * step, 4 * step, 5 * step, 1000000}));

  host.positions.clear();
  givenInput(make_wav({}, Bytes(16380, 0)));
  ASSERT_EQ(clearVoice(host, nullptr), Outcome::finished);
  EXPECT_EQ(host.positions, (std::vector<std::int32_t>{0, 1000000}));

  // A cut's progress runs over the copied span.
  constexpr std::size_t kSecond = 176400;
  host.positions.clear();
  givenInput(make_wav({}, Bytes(8 * kSecond, 0)));
  ASSERT_EQ(cut({"0", "0", "3", "0", "0", "7"})(host, nullptr), Outcome::finished);
  const auto cutStep = static_cast<std::int32_t>(1000000.0f / static_cast<float>(4 * kSecond) * 16384.0f);
  ASSERT_EQ(host.positions.size(), 1 + 4 * kSecond / 16384 + 1);
  EXPECT_EQ(host.positions[1], cutStep);
  EXPECT_EQ(host.positions.back(), 1000000);
}

std::uint64_t le64(const Bytes& bytes, std::size_t offset) {
  return le32(bytes, offset) | std::uint64_t{le32(bytes, offset + 4)} << 32;
}

TEST(OutputHeader, AnOutputPastTheThirtyTwoBitSizesBecomesRf64) {
  const PcmFormat mono = *PcmFormat::make(44100, 1, SampleEncoding::signed16);
  const struct {
    const char* name;
    Bytes chunksBeforeFormat;
    std::uint64_t dataBytes;
    bool rf64;
    std::size_t inserted;
  } cases[] = {
      {"the largest RIFF", {}, 0xFFFFFFFFu + 8 - 44, false, 0},
      {"one byte more", {}, 0xFFFFFFFFu + 8 - 44 + 1, true, 36},
      // The room that RF64 writers keep at the start takes the ds64.
      {"JUNK kept for ds64", make_chunk("JUNK", Bytes(28, 'j')), 5ull << 30, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes input = make_wav({.chunksBeforeFormat = c.chunksBeforeFormat}, samples16({1, 2}));
    const OutputHeader header(read_wave_header(MemoryByteReader(input)), mono, c.dataBytes);
    ASSERT_EQ(header.inserted().size(), c.inserted);
    // The header as the operations write it: the copy, the insertion behind "WAVE", the fields.
    Bytes out(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(header.copiedBytes()));
    out.insert(out.begin() + 12, header.inserted().begin(), header.inserted().end());
    for (const auto& patch : header.patches(c.dataBytes)) {
      std::copy(patch.bytes.begin(), patch.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    }
    const auto written = read_wave_header(MemoryByteReader(out));
    ASSERT_EQ(written.result, AudioFileResult::ok);
    EXPECT_EQ(written.header->format, mono);
    EXPECT_EQ(written.header->form, c.rf64 ? RiffForm::rf64 : RiffForm::riff);
    EXPECT_EQ(written.header->data.size, c.dataBytes);
    EXPECT_EQ(le32(out, 4), 0xFFFFFFFFu);  // the largest RIFF's own size, or "see ds64"
    if (c.rf64) {
      EXPECT_EQ(le64(out, 20), out.size() + c.dataBytes - 8);
      EXPECT_EQ(le64(out, 36), c.dataBytes / 2) << "frames";
    }
  }
}

}  // namespace
}  // namespace tunekiln::test
