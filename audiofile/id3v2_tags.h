#pragma once

#include "audiofile/byte_reader.h"
#include "audiofile/info_tags.h"

namespace tunekiln {

// The title, artist, album, year, track and comment of an ID3v2 tag (versions 2.2 to 2.4) at
// the start of the input, in UTF-8; nothing where there is no tag or no such frame.
InfoTags read_id3v2_tags(const ByteReader& reader);

}  // namespace tunekiln
