// Writes the FLAC, Ogg Vorbis and Opus seeds of the readers fuzzer: sound_file_seeds OUT_DIR
// A fraction of a second of a tone each, in the widths and codecs libsndfile writes, with tags.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sound_file_seeds OUT_DIR\n");
    return 2;
  }
  const struct {
    const char* name;
    int format;
    int rate;
    int channels;
  } seeds[] = {{"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2},
               {"pcm24-mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1},
               {"pcm8.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, 8000, 2},
               {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 2},
               {"opus.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 1}};
  for (const auto& seed : seeds) {
    SF_INFO info{.samplerate = seed.rate, .channels = seed.channels, .format = seed.format};
    const std::string path = std::string(argv[1]) + "/" + seed.name;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
      return 1;
    }
    sf_set_string(file, SF_STR_TITLE, "Seed");
    sf_set_string(file, SF_STR_TRACKNUMBER, "1");
    const int frames = seed.rate / 4;
    std::vector<float> samples(static_cast<std::size_t>(frames * seed.channels));
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] = 0.5f * std::sin(6.2831853f * 440.0f * static_cast<float>(i / seed.channels) / seed.rate);
    }
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
  }
  return 0;
}
