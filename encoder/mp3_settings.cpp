#include "encoder/mp3_settings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <vector>

#include "encoder/replay_gain_tag.h"

namespace tunekiln {
namespace {

constexpr unsigned short kByteOrderMark = 0xFEFF;
constexpr char32_t kReplacement = 0xFFFD;
// The UTF-16 units of one tag text at most. The library builds the whole ID3v2 tag in the buffer
// that holds its first frames, LAME_MAXMP3BUFFER bytes; six texts this long leave room there.
constexpr std::size_t kLongestTagText = 8192;

struct TagText {
  std::vector<unsigned short> units;
  bool cut = false;
};

// UTF-8 as the library's UTF-16 text: a byte order mark first, a zero last, and between them
// the whole characters that fit. A malformed sequence becomes the replacement character.
TagText utf16_text(const std::string& utf8) {
  std::vector<unsigned short> text{kByteOrderMark};
  bool cut = false;
  for (std::size_t i = 0; i < utf8.size() && !cut;) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= utf8.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    if (!valid || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
      code = kReplacement;
      i += 1;
    } else {
      i += static_cast<std::size_t>(length);
    }
    if (text.size() + (code >= 0x10000 ? 2 : 1) > kLongestTagText + 1) {
      cut = true;
    } else if (code >= 0x10000) {
      code -= 0x10000;
      text.push_back(static_cast<unsigned short>(0xD800 + (code >> 10)));
      text.push_back(static_cast<unsigned short>(0xDC00 + (code & 0x3FF)));
    } else {
      text.push_back(static_cast<unsigned short>(code));
    }
  }
  text.push_back(0);
  return {std::move(text), cut};
}

}  // namespace

bool is_mp3_bitrate(int kbps) {
  constexpr std::array<int, 18> kBitrates{8,  16,  24,  32,  40,  48,  56,  64,  80,
                                          96, 112, 128, 144, 160, 192, 224, 256, 320};
  return std::find(kBitrates.begin(), kBitrates.end(), kbps) != kBitrates.end();
}

std::vector<std::string> apply_mp3_settings(lame_t encoder, const Mp3Settings& settings) {
  if (settings.bitrateKbps) {
    lame_set_VBR(encoder, vbr_off);
    lame_set_brate(encoder, *settings.bitrateKbps);
  }
  if (settings.vbrQuality) {
    lame_set_VBR(encoder, vbr_default);
    lame_set_VBR_quality(encoder, static_cast<float>(*settings.vbrQuality));
  }
  if (settings.quality) lame_set_quality(encoder, *settings.quality);

  const Mp3Tags& tags = settings.tags;
  const std::tuple<const char*, const char*, const std::string*> frames[] = {
      {"TIT2", "title", &tags.title},  {"TPE1", "artist", &tags.artist}, {"TALB", "album", &tags.album},
      {"TYER", "year", &tags.year},    {"TRCK", "track", &tags.track},   {"COMM", "comment", &tags.comment}};
  std::vector<std::string> cut;
  bool tagged = false;
  for (const auto& [id, name, text] : frames) {
    if (text->empty()) continue;
    if (!tagged) {
      id3tag_init(encoder);
      id3tag_add_v2(encoder);
      id3tag_v2_only(encoder);
      tagged = true;
    }
    auto [units, shortened] = utf16_text(*text);
    if (shortened) cut.emplace_back(name);
    if (std::string_view(id) == "COMM") {
      id3tag_set_comment_utf16(encoder, "eng", utf16_text("").units.data(), units.data());
    } else {
      id3tag_set_textinfo_utf16(encoder, id, units.data());
    }
  }
  if (settings.replayGain) add_replay_gain_frames(encoder, tagged);
  return cut;
}

}  // namespace tunekiln
