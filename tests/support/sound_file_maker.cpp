#include "tests/support/sound_file_maker.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>

namespace tunekiln::test {

Bytes make_sound_file(const SoundFileShape& shape) {
  const int subtype = shape.kind == FileKind::oggVorbis ? SF_FORMAT_VORBIS
                      : shape.kind == FileKind::oggOpus ? SF_FORMAT_OPUS
                      : shape.bits == 8                 ? SF_FORMAT_PCM_S8
                      : shape.bits == 24                ? SF_FORMAT_PCM_24
                                                        : SF_FORMAT_PCM_16;
  SF_INFO info{.samplerate = shape.rate, .channels = 2,
               .format = (shape.kind == FileKind::flac ? SF_FORMAT_FLAC : SF_FORMAT_OGG) | subtype};
  TempDir dir;
  const std::string path = dir.file("made");
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return {};
  if (!shape.title.empty()) {
    sf_set_string(file, SF_STR_TITLE, shape.title.c_str());
    sf_set_string(file, SF_STR_ARTIST, "Someone");
  }
  const auto frames = static_cast<std::size_t>(shape.seconds * shape.rate);
  std::vector<float> samples(2 * frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = 2 * std::numbers::pi * static_cast<double>(i) / shape.rate;
    samples[2 * i] = static_cast<float>(0.5 * std::sin(440 * t));
    samples[2 * i + 1] = static_cast<float>(0.5 * std::sin(660 * t));
  }
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
  return read_file(path);
}

std::vector<float> sound_file_samples(const Bytes& bytes) {
  TempDir dir;
  const std::string path = dir.file("read");
  write_file(path, bytes);
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
  samples.resize(static_cast<std::size_t>(sf_readf_float(file, samples.data(), info.frames) * info.channels));
  sf_close(file);
  return samples;
}

}  // namespace tunekiln::test
