#pragma once

#include <string>
#include <vector>

#include "audiofile/file_identity.h"
#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// A file libsndfile writes: FLAC of `bits` (8, 16 or 24), Ogg Vorbis or Opus (48 kHz), of two
// channels at `rate`, a 440 Hz tone on the left and 660 Hz on the right at half scale, with the
// title and artist given.
struct SoundFileShape {
  FileKind kind = FileKind::flac;
  int bits = 16;
  int rate = 44100;
  double seconds = 2.0;
  std::string title;
};
Bytes make_sound_file(const SoundFileShape& shape);

// The samples libsndfile itself reads from `file`, interleaved, full scale at ±1.
std::vector<float> sound_file_samples(const Bytes& file);

}  // namespace tunekiln::test
