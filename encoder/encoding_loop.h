#pragma once

#include <lame/lame.h>

#include <cstdio>
#include <optional>
#include <string>

#include "encoder/audio_input.h"
#include "encoder/console_status.h"
#include "encoder/mp3_output.h"
#include "encoder/save_to_mp3_host.h"

namespace tunekiln {

// How the encoding loop ended.
enum class EncodeResult {
  finished,
  encoderFailed,  // the library or a write failed; its text is on the error stream
  inputFailed,    // the input could not be read on; see AudioInput::failure
};

// Opens and parses the input, then creates the output. Nothing when the two paths name one
// file or the output cannot be made (the reason is on the error stream and goes to
// `host.showRefusal`), or when the reader refused the input (see `input.failure`).
std::optional<Mp3Output> open_conversion_files(SaveToMp3Host& host, AudioInput& input, lame_t encoder,
                                               const std::string& inputPath, const std::string& outputPath,
                                               EncoderConsole& console);
// Encodes the whole input one frame at a time, telling `host` the percentage done every 50
// frames, and writes the encoder's last frames.
EncodeResult encode_to_mp3(SaveToMp3Host& host, lame_t encoder, AudioInput& input, std::FILE* output,
                           EncoderConsole& console);
// Has the library put the LAME Tag into the first frame of the file.
void write_lame_tag(lame_t encoder, std::FILE* output, EncoderConsole& console);

}  // namespace tunekiln
