#pragma once

#include <lame/lame.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "audiofile/pcm_format.h"
#include "audiofile/file_identity.h"
#include "audiofile/info_tags.h"

// The audio input of Save to MP3: RIFF, RF64 and BW64 WAVE files with integer PCM of 8 to 32
// bits or IEEE float, AIFF and AIFC files with integer samples of 8 to 32 bits or 32-bit float,
// FLAC, Ogg Vorbis, Opus and MP3 files as they decode, and anything that does not start like a
// kind of file it knows as raw 16-bit big-endian stereo PCM at 44100 Hz. It tells the encoder
// context the input's channel count, sample rate and length, and then delivers one frame at a
// time.
namespace tunekiln {

enum InputType : std::int32_t { INPUT_UNKNOWN = 0, INPUT_RAW = 1, INPUT_WAVE = 2, INPUT_AIFF = 3 };

// The most samples per channel the encoder takes at once.
inline constexpr std::size_t kMaxFrameSamples = 1152;

// An input the reader cannot go on with: its text (line break included), and why in a few words
// where the header says ("IMA ADPCM in a 2-channel file is not supported").
struct InputFailure {
  std::string text;
  std::string reason = {};
};

struct AudioInput {
  std::shared_ptr<const ByteReader> reader;  // the file's bytes, or those of the WAVE file it decodes to
  std::uint64_t position = 0;                 // the next sample byte
  InfoTags tags;                              // what the file says of the recording
  std::string damage;                         // a decoded file: why a read of it fails
  InputType inputType = INPUT_UNKNOWN;
  SampleEncoding encoding = SampleEncoding::signed16;
  bool bigEndian = true;                   // AIFF and raw input; "sowt" AIFC and WAVE are little-endian
  bool signedBytes = false;                // 8-bit samples of AIFF; WAVE's are unsigned around 128
  std::optional<std::uint64_t> framesLeft;  // nothing: read on to the end of the input
  // False when the header's sample rate has no integer value (infinite or beyond 32 bits):
  // the encoder must then refuse its parameters.
  bool sampleRateUsable = true;
  std::FILE* messages = stderr;  // warnings about the input
  std::optional<InputFailure> failure;  // why the last call that could fail did

  // Float files go to the encoder as reals, keeping what lies beyond full scale.
  bool realSamples() const { return encoding == SampleEncoding::float32 || encoding == SampleEncoding::float64; }
};

// One frame for the encoder, per channel (the right one zero for mono input): integers with the
// sample in the high bits, or from a float file reals with full scale at ±1.0.
struct FrameSamples {
  std::array<std::int32_t, kMaxFrameSamples> left{}, right{};
  std::array<float, kMaxFrameSamples> realLeft{}, realRight{};
};

// Opens and parses the input and gives the encoder its properties. False with
// `input.failure` set when the input cannot be opened or encoded.
bool open_audio_input(AudioInput& input, lame_t encoder, const std::string& path);
// The same for a file that is already open and identified.
bool attach_audio_input(AudioInput& input, lame_t encoder, const OpenedFile& file);
// Each leaves the input at its first sample byte, or is false with `input.failure` set.
bool parse_wave_chunks(AudioInput& input, lame_t encoder, std::uint64_t start);
bool parse_aiff_chunks(AudioInput& input, lame_t encoder, std::uint64_t start);

// Up to one frame per channel into `frame`: the samples per channel delivered, 0 at the end,
// nothing after a failure.
std::optional<std::size_t> read_audio_frame(AudioInput& input, lame_t encoder, FrameSamples& frame);
// Up to `count` integer samples, interleaved, widened to 32 bits; nothing after a failure.
std::optional<std::size_t> read_pcm_block(AudioInput& input, std::int32_t* values, std::size_t count);
// Up to `count` float samples, interleaved; nothing after a failure.
std::optional<std::size_t> read_real_block(AudioInput& input, float* values, std::size_t count);

}  // namespace tunekiln
