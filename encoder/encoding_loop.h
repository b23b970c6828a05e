#pragma once

#include <lame/lame.h>

#include <cstdio>
#include <string>

#include "encoder/audio_input.h"
#include "encoder/console_status.h"
#include "encoder/save_to_mp3_host.h"
#include "wavproc/loudness.h"

namespace tunekiln {

enum class EncodeStatus {
  finished,
  libraryFailed,  // the library returned an error code; no file was at fault
  writeFailed,    // a write to the output failed; errno says why
  inputFailed,    // the input could not be read on; see AudioInput::failure
};

// How the encoding loop ended, and for a library or write failure the encoder's own line for
// the console ("mp3 internal error:  error code=-3"), line break included.
struct EncodeResult {
  EncodeStatus status;
  std::string consoleDetail = {};
};

// Encodes the whole input one frame at a time, telling `host` the percentage done every 50
// frames, and writes the encoder's last frames.
// `meter`, when given, measures the loudness of what the encoder is given.
EncodeResult encode_to_mp3(SaveToMp3Host& host, lame_t encoder, AudioInput& input, std::FILE* output,
                           EncoderConsole& console, LoudnessMeter* meter = nullptr);
// Has the library put the LAME Tag into the first frame of the file.
void write_lame_tag(lame_t encoder, std::FILE* output, EncoderConsole& console);

}  // namespace tunekiln
