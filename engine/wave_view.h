#pragma once

#include <memory>
#include <string>

#include "audiofile/file_identity.h"

namespace tunekiln {

// An input as the readers of WAVE files take it.
struct WaveView {
  std::shared_ptr<const ByteReader> reader;  // nothing when the file could not be decoded
  bool decoded = false;                      // the file is decoded, not read as it is
  AudioFileResult result = AudioFileResult::ok;
  std::string reason;                        // why it could not be decoded, when that can be told
};

// WAVE, AIFF and unrecognised files as they are; FLAC, Ogg Vorbis and Opus files as the WAVE
// file they decode to (FLAC in its integer width, Vorbis and Opus in 32-bit float), and MP3
// files as the engine's decoder gives them (16 bits).
WaveView open_wave_view(const OpenedFile& file);
// The same for the named file; a reader of nothing with readFailed when it does not open, errno
// saying why.
WaveView open_wave_view(const std::string& path);

}  // namespace tunekiln
