// analyse's loudness figures and volume --to-lufs, run as a user runs them; the outputs are
// measured again with the meter.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/cli/run_cli.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

namespace fs = std::filesystem;

// A stereo tone at a quarter of 48 kHz, its samples at 45° of the wave: each lies 3 dB below
// the true peak, which a ceiling on the sample peak would miss.
// In 8 or 16 bits, or 32 for float with a NaN first.
Bytes tone(double peakDbfs, double seconds, std::uint16_t bits = 16) {
  const bool real = bits == 32;
  std::vector<double> values;
  for (long i = 0; i < std::lround(seconds * 48000); ++i) {
    const double value = std::pow(10, peakDbfs / 20) * std::sin(M_PI / 2 * i + M_PI / 4);
    values.insert(values.end(), 2, real ? value : std::trunc(((1 << (bits - 1)) - 1) * value));
  }
  const std::uint16_t tag = real ? 3 : 1;
  const WavShape shape{.sampleRate = 48000, .bits = bits, .formatTag = tag};
  if (real) values[0] = NAN;
  return make_wav(shape, encode_samples(shape, values));
}

// A written file's figure as analyse, checked below, reports it: its loudness or true peak.
double reported(const std::string& path, const std::string& name) {
  const std::string report = cli({"analyse", path}).out;
  const auto at = report.find("\n" + name + "=");
  return at == std::string::npos ? NAN : std::stod(report.substr(at + name.size() + 2));
}

TEST(LoudnessCommands, AnalyseTellsTheLoudnessOrWhyNot) {
  TempDir dir;
  const std::tuple<Bytes, Words, std::string> cases[] = {
      // The NaN first is measured as silence: it spoils no later block.
      {tone(-20, 4, 32), {}, "loudnessLufs=-16.65\nloudnessRangeLu=0.00\n"},
      {tone(-20, 4), {"--json"}, "\"left.truePeakDbtp\": -19.8"},
      {tone(-200, 4), {"--json"}, "\"loudnessLufs\": \"silent\", \"loudnessRangeLu\": \"silent\""},
      {tone(-20, 4, 32), {}, "\nnonFiniteSamples=1\n"},
      {tone(-20, 0.3), {}, "loudnessLufs=too short: under 0.4 s\nloudnessRangeLu=too short: under 3 s"},
  };
  for (const auto& [wav, options, expected] : cases) {
    write_file(dir.file("in.wav"), wav);
    const auto result = cli(Words{"analyse", dir.file("in.wav")} + options);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(has(result.out, expected)) << result.out;
  }
}

// The input's peak level and bits, the options, and the loudness reached (0: refused, nothing
// written), with the reason for a gain lowered or refused. Truncating products toward zero
// takes 0.4 LU from the 8-bit tone (63 to 20) unless the gain makes up for it (21).
TEST(LoudnessCommands, VolumeReachesTheTargetOrTheCeiling) {
  TempDir dir;
  const std::tuple<double, std::uint16_t, Words, double, std::string> cases[] = {
      {-3, 8, {"--to-lufs", "-9.33"}, -9.33, ""},
      {-30, 16, {"--to-lufs", "0", "--max-true-peak", "-6"}, -2.65, "Reached -2.7"},
      {-200, 16, {"--to-lufs", "-16"}, 0, "in.wav: no 400 ms block"},
  };
  for (const auto& [level, bits, options, reached, told] : cases) {
    write_file(dir.file("in.wav"), tone(level, 4, bits));
    const auto result = cli(Words{"volume", dir.file("in.wav"), dir.file("out.wav")} + options);
    SCOPED_TRACE(result.out + result.err);
    EXPECT_EQ(result.status, reached == 0 ? 1 : 0);
    EXPECT_TRUE(has(result.out + result.err, told));
    EXPECT_EQ(fs::exists(dir.file("out.wav")), reached != 0);
    if (reached == 0) continue;
    EXPECT_NEAR(reported(dir.file("out.wav"), "loudnessLufs"), reached, 0.2);
    const double ceiling = options.size() > 2 ? std::stod(options[3]) : -1.0;
    EXPECT_LE(reported(dir.file("out.wav"), "truePeakDbtp"), ceiling);
    fs::remove(dir.file("out.wav"));
  }
}

// Two files 10 dB apart: as an album they stay 10 dB apart, the louder below the ceiling;
// singly each reaches the target.
TEST(LoudnessCommands, AnAlbumKeepsItsFilesRelativeLevels) {
  TempDir dir;
  write_file(dir.file("a.wav"), tone(-10, 4));
  write_file(dir.file("b.wav"), tone(-20, 4));
  const std::pair<Words, std::pair<double, double>> cases[] = {
      {{"--to-lufs", "-14"}, {-14, -14}},
      {{"--album", "--to-lufs", "-3", "--max-true-peak", "-6"}, {-2.65, -12.65}}};
  fs::create_directory(dir.file("out"));
  const Words files{"volume", "--output-dir", dir.file("out"), dir.file("a.wav"), dir.file("b.wav")};
  for (const auto& [options, levels] : cases) {
    ASSERT_EQ(cli(files + options).status, 0);
    EXPECT_NEAR(reported(dir.file("out/a.wav"), "loudnessLufs"), levels.first, 0.2);
    EXPECT_LE(reported(dir.file("out/a.wav"), "truePeakDbtp"), options.size() > 3 ? -6 : -1);
    EXPECT_NEAR(reported(dir.file("out/b.wav"), "loudnessLufs"), levels.second, 0.2);
  }
}

// With --replaygain the gain is -18 LUFS less the loudness; without it no frame of it. A frame
// before them of 128 bytes or more has a size whose bytes hold 8 bits each.
TEST(LoudnessCommands, EncodeWritesReplayGainOnlyWhenAsked) {
  TempDir dir;
  write_file(dir.file("in.wav"), tone(-20, 4));
  write_file(dir.file("silent.wav"), tone(-200, 4));
  const auto encoded = [&](const char* input, const Words& options) {
    EXPECT_EQ(cli(Words{"encode", dir.file(input), dir.file("out.mp3")} + options).status, 0);
    const Bytes mp3 = read_file(dir.file("out.mp3"));
    return std::string(mp3.begin(), mp3.end());
  };
  const std::string plain = encoded("in.wav", {"--quiet"});
  EXPECT_FALSE(has(plain, "REPLAYGAIN"));
  EXPECT_FALSE(has(encoded("silent.wav", {"--replaygain"}), "REPLAYGAIN"));
  const std::string mp3 = encoded("in.wav", {"--replaygain", "--comment=" + std::string(200, 'c')});
  for (const auto& text : {std::string("_GAIN\0-1.35 dB", 14), std::string("_PEAK\0" "0.101", 11)}) {
    EXPECT_TRUE(has(mp3, text)) << text;
  }
  // No room left unfilled; behind the tag, the audio of the plain file.
  EXPECT_FALSE(has(mp3, "000000"));
  EXPECT_TRUE(mp3.ends_with(plain));
}

}  // namespace
}  // namespace tunekiln::test
