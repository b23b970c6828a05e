#include "audiofile/id3v2_tags.h"

#include <cstring>
#include <vector>

namespace tunekiln {
namespace {

constexpr std::size_t kHeaderBytes = 10;
constexpr std::uint32_t kLargestTag = 1 << 20;  // tags beyond this hold pictures, not texts

std::uint32_t syncsafe(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] & 0x7F) << 21 | static_cast<std::uint32_t>(p[1] & 0x7F) << 14 |
         static_cast<std::uint32_t>(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
}

void append_utf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// One string of `encoding` from [p, end), to its terminator; `p` is left behind it.
std::string decode_text(std::uint8_t encoding, const std::uint8_t*& p, const std::uint8_t* end) {
  std::string out;
  if (encoding == 0 || encoding == 3) {
    for (; p < end && *p != 0; ++p) {
      if (encoding == 3 || *p < 0x80) {
        out += static_cast<char>(*p);
      } else {
        append_utf8(out, *p);  // Latin-1
      }
    }
    if (p < end) ++p;
    return out;
  }
  bool bigEndian = encoding == 2;
  if (encoding == 1 && end - p >= 2 && ((p[0] == 0xFE && p[1] == 0xFF) || (p[0] == 0xFF && p[1] == 0xFE))) {
    bigEndian = p[0] == 0xFE;
    p += 2;
  }
  std::uint32_t high = 0;  // a surrogate waiting for its partner
  for (; end - p >= 2; p += 2) {
    const std::uint32_t unit = bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
    if (unit == 0) {
      p += 2;
      break;
    }
    if (unit >= 0xD800 && unit < 0xDC00) {
      high = unit;
    } else if (unit >= 0xDC00 && unit < 0xE000) {
      if (high != 0) append_utf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      high = 0;
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

std::string* field_for(InfoTags& tags, const std::string& id) {
  if (id == "TIT2" || id == "TT2") return &tags.title;
  if (id == "TPE1" || id == "TP1") return &tags.artist;
  if (id == "TALB" || id == "TAL") return &tags.album;
  if (id == "TYER" || id == "TYE" || id == "TDRC") return &tags.year;
  if (id == "TRCK" || id == "TRK") return &tags.track;
  if (id == "COMM" || id == "COM") return &tags.comment;
  return nullptr;
}

}  // namespace

InfoTags read_id3v2_tags(const ByteReader& reader) {
  InfoTags tags;
  std::uint8_t header[kHeaderBytes];
  if (!reader.readExactly(0, header, sizeof header) || std::memcmp(header, "ID3", 3) != 0) return tags;
  const int version = header[3];
  const std::uint32_t size = syncsafe(header + 6);
  if (version < 2 || version > 4 || size > kLargestTag) return tags;
  std::vector<std::uint8_t> body(size);
  if (!reader.readExactly(kHeaderBytes, body.data(), size)) return tags;
  std::size_t at = 0;
  if (version > 2 && (header[5] & 0x40) && size >= 4) {  // an extended header comes first
    at = version == 4 ? syncsafe(body.data()) : load_be32(body.data()) + 4;
  }
  const std::size_t idBytes = version == 2 ? 3 : 4;
  const std::size_t frameHeader = version == 2 ? 6 : 10;
  while (at + frameHeader <= body.size() && body[at] != 0) {
    const std::uint8_t* frame = body.data() + at;
    const std::uint32_t frameSize = version == 2   ? (frame[3] << 16 | frame[4] << 8 | frame[5])
                                    : version == 4 ? syncsafe(frame + 4)
                                                   : load_be32(frame + 4);
    if (frameSize > body.size() - at - frameHeader) break;
    const std::string id(reinterpret_cast<const char*>(frame), idBytes);
    std::string* field = field_for(tags, id);
    const std::uint8_t* p = frame + frameHeader;
    const std::uint8_t* end = p + frameSize;
    if (field != nullptr && field->empty() && frameSize > 1) {
      const std::uint8_t encoding = *p++;
      bool described = false;  // a comment with a description is a program's note, not the user's
      if (field == &tags.comment) {
        p += std::min<std::ptrdiff_t>(3, end - p);  // the language
        described = !decode_text(encoding, p, end).empty();
      }
      if (!described) *field = decode_text(encoding, p, end);
    }
    at += frameHeader + frameSize;
  }
  return tags;
}

}  // namespace tunekiln
