#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "wavproc/loudness.h"

// ReplayGain 2.0 track gain and peak in the MP3's ID3v2 tag. The tag is written before the
// audio, the values are known after it: frames with room for any value go into the tag, and
// the values take their place once the pass is over, the tag's size unchanged.
namespace tunekiln {

// Before lame_init_params: the frames that hold the places, in a tag made if there is none.
void add_replay_gain_frames(lame_t encoder, bool tagged);

// "-3.52 dB" and "0.912345", as ReplayGain 2.0 writes them.
std::string replay_gain_text(double gainDb);
std::string replay_gain_peak_text(double peak);

// The values in place of the frames in `tag`, the ID3v2 tag's bytes, header included; without
// values (a silent or too short input) the frames go, and padding takes their room. False for
// a tag it does not read (compressed, unsynchronised, an extended header).
bool fill_replay_gain_frames(std::vector<std::uint8_t>& tag, const std::optional<ReplayGain>& values);

// The same in the MP3 being written, from its start; false when it cannot be read or written.
bool fill_replay_gain_tag(std::FILE* mp3, const std::optional<ReplayGain>& values);

}  // namespace tunekiln
