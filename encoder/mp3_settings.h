#pragma once

#include <lame/lame.h>

#include <optional>
#include <string>
#include <vector>

namespace tunekiln {

// The ID3v2 text a user gives an MP3, in UTF-8; a field left empty is not written.
struct Mp3Tags {
  std::string title, artist, album, year, track, comment;
};

// What a user may choose of an encoding; nothing chosen is the library's defaults, which is
// what the window's Save to MP3 uses.
struct Mp3Settings {
  std::optional<int> bitrateKbps;  // constant bitrate
  std::optional<int> vbrQuality;   // variable bitrate, 0 (best) to 9
  std::optional<int> quality;      // the algorithm's, 0 (best, slowest) to 9
  Mp3Tags tags;
  bool replayGain = false;         // ReplayGain 2.0 track gain and peak, measured as it encodes
};

// Gives the encoder the settings; before lame_init_params. A tag text longer than the library
// takes is cut after its last whole character that fits; the names of those cut come back
// ("title", "comment").
std::vector<std::string> apply_mp3_settings(lame_t encoder, const Mp3Settings& settings);

// The bitrates an MPEG layer III stream can have, in kbit/s.
bool is_mp3_bitrate(int kbps);

}  // namespace tunekiln
