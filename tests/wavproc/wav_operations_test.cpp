// The four WAV operations through a scripted user: the samples and headers they write, the run
// they share (dialogs, checks, the data marker, progress) and what they leave when they stop.
#include "wavproc/wav_operations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/support/scripted_host.h"
#include "tests/support/wav_builder.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {
namespace {

using Operation = std::function<Outcome(ScriptedHost&)>;

const Operation left = [](ScriptedHost& host) { return ExtractChannel(host, Channel::left); };
const Operation right = [](ScriptedHost& host) { return ExtractChannel(host, Channel::right); };
const Operation clearVoice = [](ScriptedHost& host) { return ClearVoice(host); };
// The user types `entry` into the volume dialog and presses OK.
Operation volume(const std::string& entry) {
  return [entry](ScriptedHost& host) {
    host.volumeDialog = [entry] { return accept_volume_entry(entry); };
    return ChangeVolume(host);
  };
}
// The user enters a time range (hours, minutes, seconds twice) and presses OK.
Operation cut(const CutEntries& entries) {
  return [entries](ScriptedHost& host) {
    host.cutDialog = [entries] { return accept_cut_entries(entries).accepted; };
    return CutByTime(host);
  };
}

constexpr std::size_t kSecond = 176400;  // 44.1 kHz 16-bit stereo
const Bytes kExistingOutput{'k', 'e', 'e', 'p'};

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) { return Bytes(bytes.begin() + from, bytes.begin() + to); }

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

TEST_F(WavOperations, SamplesAndSizesOfEveryOperation) {
  const Bytes ramp = ramp_bytes(3 * kSecond + 6);  // ends inside a frame
  const Bytes list = make_chunk("LIST", Bytes(40, 'x'));
  const struct {
    const char* name;
    WavShape shape;
    Bytes samples;
    Operation operation;
    Bytes expected;
  } cases[] = {
      {"left", {}, samples16({100, -100, 32767, -32768}), left, samples16({100, 32767})},
      {"right", {}, samples16({100, -100, 32767, -32768}), right, samples16({-100, -32768})},
      {"left 8 bits", {.bits = 8}, {1, 2, 3, 4, 5, 6}, left, {1, 3, 5}},
      {"right 8 bits", {.bits = 8}, {1, 2, 3, 4, 5, 6}, right, {2, 4, 6}},
      // Data behind the data chunk is neither processed nor copied.
      {"chunk behind the data", {.bytesAfterData = list}, samples16({1, -1, 2, -2}), left, samples16({1, 2})},
      // A declared size of 0, or past the end, means the end of the file; a torn last frame is left out.
      {"size 0", {.declaredDataSize = 0}, samples16({1, -1, 2, -2, 3}), right, samples16({-1, -2})},
      {"size past the end", {.declaredDataSize = 1000}, samples16({1, -1, 2, -2, 3}), right, samples16({-1, -2})},
      {"clear voice", {}, samples16({500, 500, 1000, -1000, -1000, 1000, 32767, -32768, -32768, 32767}), clearVoice,
       samples16({0, -2000, 2000, -32768, 32767})},
      // Equal channels are silence (128), not the byte 0; the extremes clip instead of wrapping.
      {"clear voice 8 bits", {.bits = 8}, {77, 77, 100, 110, 255, 0, 0, 255}, clearVoice, {128, 138, 0, 255}},
      {"volume 0.5", {}, samples16({-3, 3, 16384, -16384, 20000, -20000, 0, 1}), volume("0.5"),
       samples16({-1, 1, 8192, -8192, 10000, -10000, 0, 0})},
      {"volume 2", {}, samples16({-3, 3, 16384, -16384, 20000, -20000, 0, 1}), volume("2"),
       samples16({-6, 6, 32767, -32768, 32767, -32768, 0, 2})},
      {"volume beyond float range", {}, samples16({0, 1, -1, 0}), volume("1" + std::string(60, '0')),
       samples16({0, 32767, -32768, 0})},
      {"volume 2 on 8 bits", {.channels = 1, .bits = 8}, {128, 129, 127, 200, 100, 0, 255}, volume("2"),
       {128, 130, 126, 255, 72, 0, 255}},
      {"volume 0.5 on 8 bits", {.channels = 1, .bits = 8}, {128, 129, 127, 200, 100, 0, 255}, volume("0.5"),
       {128, 128, 128, 164, 114, 64, 191}},
      {"cut", {.bytesAfterData = list}, ramp, cut({"0", "0", "1", "0", "0", "2"}), slice(ramp, kSecond, 2 * kSecond)},
      {"cut to the end", {.bytesAfterData = list}, ramp, cut({"0", "0", "1", "0", "0", "0"}),
       slice(ramp, kSecond, 3 * kSecond + 4)},
      {"cut past the end", {}, ramp, cut({"0", "0", "2", "1", "0", "0"}), slice(ramp, 2 * kSecond, 3 * kSecond + 4)},
      {"cut behind the end", {}, ramp, cut({"0", "0", "5", "0", "0", "9"}), {}},
      // Offsets from a byte rate that is no multiple of the frame size are rounded down to
      // whole frames, so the channels are never swapped.
      {"cut at odd byte rate", {.byteRate = 1001}, slice(ramp, 0, 4004), cut({"0", "0", "1", "0", "0", "3"}),
       slice(ramp, 1000, 3000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    givenInput(make_wav(c.shape, c.samples));
    ASSERT_EQ(c.operation(host), Outcome::finished);
    const Bytes out = output();
    EXPECT_EQ(slice(out, 44, out.size()), c.expected);
    EXPECT_EQ(le32(out, 40), c.expected.size());
    EXPECT_EQ(le32(out, 4), out.size() - 8);
  }
}

TEST_F(WavOperations, MonoHeaderKeepsTheRestOfTheInputHeader) {
  const Bytes input = make_wav({.sampleRate = 96000}, samples16({100, -100}));
  givenInput(input);
  ASSERT_EQ(right(host), Outcome::finished);
  const Bytes out = output();
  EXPECT_EQ(le16(out, 22), 1u);       // channels
  EXPECT_EQ(le32(out, 24), 96000u);   // sample rate
  EXPECT_EQ(le32(out, 28), 192000u);  // byte rate beyond 16 bits
  EXPECT_EQ(le16(out, 32), 2u);       // block align
  EXPECT_EQ(le16(out, 34), 16u);      // bits
  EXPECT_EQ(slice(out, 8, 22), slice(input, 8, 22));

  // An 18-byte format chunk gives a 46-byte header, its extension size kept.
  givenInput(make_wav({.channels = 1, .sampleRate = 8000, .bits = 8, .extensionSizeField = true}, ramp_bytes(3 * 8000)));
  ASSERT_EQ(cut({"0", "0", "1", "0", "0", "2"})(host), Outcome::finished);
  const Bytes cutOut = output();
  EXPECT_EQ(slice(cutOut, 8, 42), slice(read_file(inputPath), 8, 42));
  EXPECT_EQ(le32(cutOut, 42), 8000u);
  EXPECT_EQ(slice(cutOut, 46, cutOut.size()), slice(ramp_bytes(3 * 8000), 8000, 16000));
}

TEST_F(WavOperations, HeaderChecksComeInTheirOrderAroundTheDialog) {
  const struct {
    WavShape shape;
    Operation operation;
    std::string_view message;
    int dialogs;
  } cases[] = {
      {{.channels = 1, .bits = 24}, left, "Input wav file must be stereo!", 0},  // stereo before the width
      {{.bits = 24}, clearVoice, "Only Support 8 bits or 16 bits wav file!", 0},
      {{.bits = 24}, volume("2"), "Only Support 8 bits or 16 bits wav file!", 0},  // the width before the dialog
      {{.bits = 24}, cut({"0", "0", "0", "0", "0", "1"}), "Only Support 8 bits or 16 bits wav file!", 0},
      {{.channels = 3}, volume("2"), "Not support this wav file!", 1},  // the channels after it
      {{.byteRate = 0}, cut({"0", "0", "0", "0", "0", "1"}), "Not support this wav file!", 1},
      {{.channels = 0}, cut({"0", "0", "0", "0", "0", "1"}), "Not support this wav file!", 1},
      // The "da" marker counts only at even offsets: a three-byte chunk hides the real one.
      {{.chunksBeforeData = make_chunk("odd!", {0, 0, 0})}, clearVoice, "can not recongnize this file format!", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    givenInput(make_wav(c.shape, Bytes(24, 0)));
    host.parameterDialogsShown = 0;
    EXPECT_EQ(c.operation(host), Outcome::failed);
    EXPECT_EQ(host.messages.back(), c.message);
    EXPECT_EQ(host.parameterDialogsShown, c.dialogs);
    EXPECT_FALSE(std::filesystem::exists(outputPath));
  }
}

TEST_F(WavOperations, MarkerInsideAnEarlierChunkIsTakenForTheData) {
  // "da", two skipped bytes and a size of 4 inside a LIST chunk at an even offset.
  const Bytes list = make_chunk("LIST", {'d', 'a', 'x', 'x', 4, 0, 0, 0, 9, 0, 8, 0});
  givenInput(make_wav({.chunksBeforeData = list}, samples16({100, 200})));
  ASSERT_EQ(left(host), Outcome::finished);
  const Bytes out = output();
  const std::size_t header = 36 + 8 + 8;  // the pair sits behind the LIST chunk's own header
  EXPECT_EQ(slice(out, header - 4, out.size()), (Bytes{2, 0, 0, 0, 9, 0}));  // the LIST body's next left sample
}

TEST_F(WavOperations, CancelledDialogsEndSilentlyAndLeaveEveryFileAsItWas) {
  givenInput(make_wav({}, samples16({1, 2})));
  host.input.reset();
  EXPECT_EQ(left(host), Outcome::cancelled);
  host.input = inputPath;
  host.output.reset();
  EXPECT_EQ(left(host), Outcome::cancelled);
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
  ASSERT_EQ(clearVoice(host), Outcome::finished);
  const auto step = static_cast<std::int32_t>(1000000.0f / static_cast<float>(44 + dataBytes) * 16384.0f);
  EXPECT_EQ(host.positions, (std::vector<std::int32_t>{0, step, 2 * step, 3 * step, 4 * step, 5 * step, 1000000}));

  host.positions.clear();
  givenInput(make_wav({}, Bytes(16380, 0)));
  ASSERT_EQ(clearVoice(host), Outcome::finished);
  EXPECT_EQ(host.positions, (std::vector<std::int32_t>{0, 1000000}));

  // A cut's progress runs over the copied span.
  host.positions.clear();
  givenInput(make_wav({}, Bytes(8 * kSecond, 0)));
  ASSERT_EQ(cut({"0", "0", "3", "0", "0", "7"})(host), Outcome::finished);
  const auto cutStep = static_cast<std::int32_t>(1000000.0f / static_cast<float>(4 * kSecond) * 16384.0f);
  ASSERT_EQ(host.positions.size(), 1 + 4 * kSecond / 16384 + 1);
  EXPECT_EQ(host.positions[1], cutStep);
  EXPECT_EQ(host.positions.back(), 1000000);
}

}  // namespace
}  // namespace tunekiln::test
