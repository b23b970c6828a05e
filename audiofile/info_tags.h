#pragma once

#include <string>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// What a WAVE file's LIST/INFO chunk says of the recording, in UTF-8; empty where it says
// nothing. Track is ITRK, or IPRT where that is missing.
struct InfoTags {
  std::string title, artist, album, year, track, comment;
};

// Reads the tags of a WAVE file; a file without them, or no WAVE file at all, has none.
InfoTags read_info_tags(const ByteReader& reader);

}  // namespace tunekiln
