#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "encoder/byte_source.h"

// The audio input of Save to MP3: RIFF/WAVE with integer PCM, AIFF and AIFC with 16-bit
// samples, and anything else as raw 16-bit big-endian stereo PCM at 44100 Hz. It tells the
// encoder context the input's channel count, sample rate and length, and then delivers one
// frame at a time as 32-bit values with the sample in the high bits.
namespace tunekiln {

enum InputType : std::int32_t { INPUT_UNKNOWN = 0, INPUT_RAW = 1, INPUT_WAVE = 2, INPUT_AIFF = 3 };

// The most samples per channel the encoder takes at once.
inline constexpr std::size_t kMaxFrameSamples = 1152;

// An input the reader cannot go on with: its text (line break included) and the exit status
// the command line ends with.
struct InputFailure {
  std::string text;
  int exitStatus = 1;
};

struct AudioInput {
  std::unique_ptr<ByteSource> inputStream;
  InputType inputType = INPUT_UNKNOWN;
  std::int32_t pcmBitWidth = 16;
  bool pcmSwapBytes = false;  // reverses the byte order the type implies; only AIFC "sowt" sets it
  bool countExactly = false;  // stop after the header's sample count
  std::uint32_t samplesReadSoFar = 0;
  // False when the header's sample rate has no integer value (infinite or beyond 32 bits):
  // the encoder must then refuse its parameters.
  bool sampleRateUsable = true;
  std::FILE* messages = stderr;  // warnings about the input
  std::optional<InputFailure> failure;  // why the last call that could fail did
};

// What the AIFF header holds, gathered while its chunks are walked.
struct AiffInfo {
  std::int16_t channels = 0;
  std::uint32_t sampleFrames = 0;
  std::int16_t sampleSize = 0;
  double sampleRate = 0;
  std::int32_t soundType = 0;  // four characters
  std::uint32_t blockOffset = 0;
  std::uint32_t blockSize = 0;
};

enum class HeaderVerdict {
  accepted,  // the stream stands at the first sample byte
  refused,   // not this kind of header, or a damaged one: the input is read as raw
  failed,    // an input that cannot be encoded at all; see AudioInput::failure
};

// Opens and parses the input and gives the encoder its properties. False with
// `input.failure` set when the input cannot be opened or encoded.
bool open_audio_input(AudioInput& input, lame_t encoder, const std::string& path);
// The same for an input that is already open; `sizeBytes` is what input_file_size says of it.
bool attach_audio_input(AudioInput& input, lame_t encoder, std::unique_ptr<ByteSource> source,
                        std::int32_t sizeBytes);
bool detect_input_type(AudioInput& input, lame_t encoder);
HeaderVerdict parse_wave_chunks(AudioInput& input, lame_t encoder);
HeaderVerdict parse_aiff_chunks(AudioInput& input, lame_t encoder);
// True when the sound data is 16-bit mono or stereo PCM without blocks; otherwise says why.
bool check_aiff_sound_data(const AiffInfo& info, std::FILE* messages);
// Moves the position by `count` bytes; false, with a message, when that is impossible.
bool skip_input_bytes(ByteSource& source, std::int64_t count, SeekOrigin origin, std::FILE* messages);

// Up to one frame into `left` and `right` (zeros on the right for mono): the samples per
// channel delivered, 0 at the end, nothing after a failure.
std::optional<std::size_t> read_audio_frame(AudioInput& input, lame_t encoder,
                                            std::span<std::int32_t, kMaxFrameSamples> left,
                                            std::span<std::int32_t, kMaxFrameSamples> right);
// Up to `count` samples, interleaved, widened to 32 bits; nothing after a failure.
std::optional<std::size_t> read_pcm_block(AudioInput& input, std::int32_t* values, std::size_t count);
// Reads up to `count` samples of `byteWidth` bytes into `values` and widens them in place.
std::size_t unpack_pcm_samples(ByteSource& source, std::int32_t* values, std::size_t count, int byteWidth,
                               bool bigEndian);
bool close_audio_input(AudioInput& input);

// The file's size as a signed 32-bit number; -1 when there is none or it does not fit.
std::int32_t input_file_size(const std::string& path);

}  // namespace tunekiln
