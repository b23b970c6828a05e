#include "cli/analyse_command.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "audiofile/decoded_wave.h"
#include "audiofile/sound_file_reader.h"
#include "audiofile/wave_header.h"
#include "cli/engine_session.h"
#include "cli/reporting.h"
#include "audiofile/mp3_frame_walk.h"
#include "engine/mp3_decoder.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// Name and value pairs in the order they are printed; a value is either a number or a text.
class Report {
 public:
  void number(std::string name, double value, int decimals) {
    char text[64];
    if (std::isinf(value)) {
      std::snprintf(text, sizeof text, "%s", value < 0 ? "-inf" : "inf");
    } else {
      std::snprintf(text, sizeof text, "%.*f", decimals, value);
    }
    fields_.push_back({std::move(name), text, std::isfinite(value) ? Kind::number : Kind::nonFinite});
  }
  void integer(std::string name, std::uint64_t value) {
    fields_.push_back({std::move(name), std::to_string(value), Kind::number});
  }
  void text(std::string name, std::string value) { fields_.push_back({std::move(name), std::move(value), Kind::text}); }

  // Standard output's failures are the program's to report when it ends.
  void print(bool json) const {
    if (json) {
      std::printf("{");
      for (std::size_t i = 0; i < fields_.size(); ++i) {
        const Field& field = fields_[i];
        std::printf("%s\"%s\": ", i == 0 ? "" : ", ", field.name.c_str());
        switch (field.kind) {
          case Kind::number:
            std::printf("%s", field.value.c_str());
            break;
          case Kind::nonFinite:
            std::printf("null");  // JSON has no infinity
            break;
          case Kind::text:
            std::printf("\"%s\"", json_escaped(field.value).c_str());
            break;
        }
      }
      std::printf("}\n");
    } else {
      for (const Field& field : fields_) std::printf("%s=%s\n", field.name.c_str(), field.value.c_str());
    }
  }

 private:
  enum class Kind { number, nonFinite, text };
  struct Field {
    std::string name;
    std::string value;
    Kind kind;
  };
  static std::string json_escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      if (static_cast<unsigned char>(c) < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out += c;
      }
    }
    return out;
  }
  std::vector<Field> fields_;
};

const char* kChannelNames[2] = {"left", "right"};

std::string channel_name(std::size_t channel, std::size_t channels) {
  if (channels == 1) return "mono";
  return channels == 2 ? kChannelNames[channel] : "channel" + std::to_string(channel + 1);
}

void add_levels(Report& report, const PcmAnalysis& analysis, SampleEncoding encoding, bool isFloat) {
  for (std::size_t i = 0; i < analysis.channels.size(); ++i) {
    const ChannelLevels& levels = analysis.channels[i];
    const std::string name = channel_name(i, analysis.channels.size());
    report.number(name + ".peakDbfs", to_dbfs(levels.peak), 2);
    report.number(name + ".peakSample", levels.peakValue, isFloat ? 6 : 0);
    report.number(name + ".rmsDbfs", to_dbfs(levels.rms), 2);
    report.integer(name + ".clippedSamples", levels.clipped);
  }
  if (analysis.channels.size() == 2 && analysis.frames > 0) {
    // A correlation that rounds to nothing prints without a sign.
    if (analysis.correlation) {
      report.number("correlation", std::abs(*analysis.correlation) < 0.0005 ? 0.0 : *analysis.correlation, 3);
    }
    switch (judge_centre_removal(analysis)) {
      case CentreRemoval::silence:
        report.text("clearVoice", "dual mono: the result is silence");
        break;
      case CentreRemoval::likely:
        report.text("clearVoice", "strongly correlated: likely to work");
        break;
      case CentreRemoval::unlikely:
        report.text("clearVoice", "weakly or negatively correlated: unlikely to work");
        break;
    }
  }
  const auto multiple = largest_unclipped_multiple(analysis, encoding);
  if (multiple) {
    // As many decimals as the volume dialog takes, so a multiple below 0.1 does not round up and clip.
    report.number("largestUnclippedMultiple", *multiple, multiple_decimals(*multiple));
  } else {
    report.text("largestUnclippedMultiple", "any");  // silence never clips
  }
}

// A figure with its unit's decimals, or in words why there is none.
void add_figure(Report& report, std::string name, const LoudnessFigure& figure, const char* tooShort) {
  if (const double* value = std::get_if<double>(&figure)) {
    report.number(std::move(name), *value, 2);
  } else {
    report.text(std::move(name), std::get<Unmeasured>(figure) == Unmeasured::silent ? "silent" : tooShort);
  }
}

// Loudness as broadcasters measure it; nothing when the meter does not take the format.
void add_loudness(Report& report, const std::optional<LoudnessMeter>& meter) {
  if (!meter) return;
  const LoudnessResult loudness = meter->result();
  add_figure(report, "loudnessLufs", loudness.integrated, "too short: under 0.4 s");
  add_figure(report, "loudnessRangeLu", loudness.range, "too short: under 3 s");
  const std::size_t channels = loudness.channelTruePeaks.size();
  for (std::size_t i = 0; i < channels; ++i) {
    add_figure(report, channel_name(i, channels) + ".truePeakDbtp", to_dbtp(loudness.channelTruePeaks[i]), "");
  }
  add_figure(report, "truePeakDbtp", to_dbtp(loudness.truePeak), "");
  // They were measured as silence; a figure without them would pass for the whole file's.
  if (loudness.nonFiniteSamples > 0) report.integer("nonFiniteSamples", loudness.nonFiniteSamples);
}

int analyse_wave(const ByteReader& reader, const WaveHeader& header, FileKind kind, const std::string& name,
                 bool json) {
  bool failed = false;
  PcmAnalyser analyser(header.format);
  analyser.measureLoudness();
  if (!read_pcm_into(reader, header, analyser, {}, &failed)) {
    if (kind == FileKind::wave) return report_failure(wav_texts::kReadError);
    return report_failure(wav_texts::kReadError, FileFault{name, damage_reason(kind)});
  }
  const auto analysis = analyser.result();
  Report report;
  report.text("decoder", kind_name(kind));
  report.text("format", describe_encoding(header.format.encoding()));
  report.integer("sampleRate", header.format.sampleRate());
  report.integer("channels", header.format.channels());
  report.integer("frames", analysis.frames);
  report.number("lengthSeconds", static_cast<double>(analysis.frames) / header.format.sampleRate(), 3);
  add_levels(report, analysis, header.format.encoding(), header.format.isFloat());
  add_loudness(report, analyser.loudness());
  report.print(json);
  return 0;
}

int analyse_mp3(const OpenedFile& file, bool json) {
  Mp3Decoder decoder;
  decoder.walkLengthInBackground(false);  // the walk is made here
  if (!decoder.open(file)) {
    const std::string refusal = decoder.refusal();
    return fail_unrecognized(refusal.empty() ? unplayable_reason(file.identity) : refusal, file.name);
  }
  const Mp3FrameWalk walk = decoder.walkFrames();
  if (walk.result == AudioFileResult::readFailed) return report_failure(wav_texts::kReadError);
  const StreamInfo info = decoder.getInfo();
  const auto format = PcmFormat::make(static_cast<std::uint32_t>(info.sampleRate), info.stereo == 1 ? 2 : 1,
                                      SampleEncoding::signed16);
  if (walk.result != AudioFileResult::ok || !format) return fail_unrecognized({}, file.name);
  const char* lengthSource = decoder.openingLengthSource();

  // The peaks are those of what the player hears: the engine's own decoder, dither and all.
  PcmAnalyser analyser(*format);
  analyser.measureLoudness();
  std::vector<std::uint8_t> block(64 * 1024);
  for (ReadResult result = ReadResult::more; result == ReadResult::more;) {
    std::size_t size = block.size();
    result = decoder.read(block.data(), size);
    analyser.add(block.data(), size / format->bytesPerFrame());
    if (result == ReadResult::failed) return report_failure(wav_texts::kReadError);
  }
  decoder.close();
  const PcmAnalysis analysis = analyser.result();

  Report report;
  report.text("decoder", "mp3");
  report.integer("sampleRate", walk.sampleRate);
  report.integer("channels", format->channels());
  report.integer("frames", walk.frames);
  report.number("lengthSeconds", walk.seconds(), 3);
  report.number("averageBitrateKbps", walk.averageKbps(), 1);
  report.text("lengthSource", lengthSource);
  // As the engine has it at open: the walk it starts in the background may have made it exact by now, or not.
  report.integer("engineLengthSeconds", static_cast<std::uint64_t>(decoder.openingLengthSeconds()));
  add_levels(report, analysis, SampleEncoding::signed16, false);
  add_loudness(report, analyser.loudness());
  report.print(json);
  return 0;
}

int analyse_sound_file(const OpenedFile& file, bool json) {
  auto opened = SoundFileReader::open(file.reader, file.identity);
  if (opened.result == AudioFileResult::readFailed) return report_failure(wav_texts::kReadError);
  if (!opened.reader) {
    return fail_unrecognized(opened.reason, file.name);
  }
  const DecodedWave wave(std::move(opened.reader));
  const WaveParse parse = read_wave_header(wave);
  if (!parse.header) return report_failure(wav_texts::kReadError);
  return analyse_wave(wave, *parse.header, file.identity.kind, file.name, json);
}

int analyse(const std::string& path, bool json) {
  const OpenedFile file = open_audio_file(path);
  if (!file.reader) return report_failure(kOpenInputError, errno_fault(path, errno));
  if (file.identity.result == AudioFileResult::readFailed) return report_failure(wav_texts::kReadError);
  if (file.identity.decodedBySoundFile()) return analyse_sound_file(file, json);
  if (file.identity.kind != FileKind::wave) return analyse_mp3(file, json);
  const WaveParse wave = read_wave_header(*file.reader, file.identity.start);
  if (wave.result == AudioFileResult::ok) return analyse_wave(*file.reader, *wave.header, FileKind::wave, path, json);
  if (wave.result == AudioFileResult::readFailed) return report_failure(wav_texts::kReadError);
  // A WAVE file of MPEG audio; the decoder refuses any other.
  return analyse_mp3(file, json);
}

}  // namespace

void add_analyse_command(CLI::App& app, int& status) {
  auto path = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto* command = app.add_subcommand(
      "analyse", "Show the peak, RMS level and clipping of each channel, the loudness in LUFS with its range "
                 "and the true peaks, whether Clear Human Voice can work, "
                 "the largest volume multiple that does not clip and, for MP3, the true length");
  command->add_option("FILE", *path, "WAV, MP3, FLAC, Ogg Vorbis or Opus file")->required();
  command->add_flag("--json", *json, "print one JSON object instead of name=value lines");
  command->callback([&status, path, json] { status = analyse(*path, *json); });
}

}  // namespace tunekiln
