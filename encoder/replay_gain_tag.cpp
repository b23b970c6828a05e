#include "encoder/replay_gain_tag.h"

#include <algorithm>
#include <string_view>

namespace tunekiln {
namespace {

constexpr std::string_view kTrackGain = "REPLAYGAIN_TRACK_GAIN";
constexpr std::string_view kTrackPeak = "REPLAYGAIN_TRACK_PEAK";
// Room for any value: a float's largest peak has 39 digits before the point.
constexpr std::size_t kValueRoom = 48;
constexpr std::size_t kHeaderBytes = 10;

std::uint32_t frame_size(const std::uint8_t* at, bool synchsafe) {
  const int shift = synchsafe ? 7 : 8;
  std::uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size = size << shift | at[i];
  return size;
}

void put_frame_size(std::uint8_t* at, std::uint32_t size, bool synchsafe) {
  const int shift = synchsafe ? 7 : 8;
  for (int i = 3; i >= 0; --i, size >>= shift) at[i] = static_cast<std::uint8_t>(size & (synchsafe ? 0x7F : 0xFF));
}

// Which of the two a TXXX frame's body (encoding byte, description, zero, value) holds.
std::optional<std::string_view> replay_gain_description(const std::uint8_t* body, std::uint32_t size) {
  for (const std::string_view description : {kTrackGain, kTrackPeak}) {
    if (size > description.size() + 1 && body[0] == 0 &&
        std::equal(description.begin(), description.end(), body + 1) && body[description.size() + 1] == 0) {
      return description;
    }
  }
  return std::nullopt;
}

}  // namespace

void add_replay_gain_frames(lame_t encoder, bool tagged) {
  if (!tagged) {
    id3tag_init(encoder);
    id3tag_add_v2(encoder);
    id3tag_v2_only(encoder);
  }
  const std::string room(kValueRoom, '0');
  for (const std::string_view description : {kTrackGain, kTrackPeak}) {
    id3tag_set_textinfo_latin1(encoder, "TXXX", (std::string(description) + "=" + room).c_str());
  }
}

std::string replay_gain_text(double gainDb) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f dB", gainDb);
  return text;
}

std::string replay_gain_peak_text(double peak) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", peak);
  return text;
}

bool fill_replay_gain_frames(std::vector<std::uint8_t>& tag, const std::optional<ReplayGain>& values) {
  if (tag.size() < kHeaderBytes || (tag[3] != 3 && tag[3] != 4) || tag[5] != 0) return false;
  const bool synchsafe = tag[3] == 4;
  std::vector<std::uint8_t> frames;
  for (std::size_t at = kHeaderBytes; at + kHeaderBytes <= tag.size() && tag[at] != 0;) {
    const std::uint32_t size = frame_size(&tag[at + 4], synchsafe);
    if (size > tag.size() - at - kHeaderBytes || tag[at + 9] != 0) return false;
    const std::uint8_t* body = &tag[at + kHeaderBytes];
    const auto description = std::string_view(reinterpret_cast<const char*>(&tag[at]), 4) == "TXXX"
                                 ? replay_gain_description(body, size) : std::nullopt;
    if (!description) {
      frames.insert(frames.end(), tag.begin() + at, tag.begin() + at + kHeaderBytes + size);
    } else if (values) {
      const std::string value = *description == kTrackGain ? replay_gain_text(values->trackGainDb)
                                                            : replay_gain_peak_text(values->trackPeak);
      const std::size_t start = frames.size();
      frames.insert(frames.end(), tag.begin() + at, tag.begin() + at + kHeaderBytes);
      frames.insert(frames.end(), body, body + description->size() + 2);
      frames.insert(frames.end(), value.begin(), value.end());
      put_frame_size(&frames[start + 4], static_cast<std::uint32_t>(frames.size() - start - kHeaderBytes), synchsafe);
    }
    at += kHeaderBytes + size;
  }
  // What the frames no longer take becomes padding, zeros to the tag's end.
  std::fill(std::copy(frames.begin(), frames.end(), tag.begin() + kHeaderBytes), tag.end(), 0);
  return true;
}

bool fill_replay_gain_tag(std::FILE* mp3, const std::optional<ReplayGain>& values) {
  std::vector<std::uint8_t> tag(kHeaderBytes);
  if (std::fflush(mp3) != 0 || std::fseek(mp3, 0, SEEK_SET) != 0 ||
      std::fread(tag.data(), 1, kHeaderBytes, mp3) != kHeaderBytes ||
      !std::equal(tag.begin(), tag.begin() + 3, "ID3")) {
    return false;
  }
  tag.resize(kHeaderBytes + frame_size(&tag[6], true));
  if (std::fread(tag.data() + kHeaderBytes, 1, tag.size() - kHeaderBytes, mp3) != tag.size() - kHeaderBytes ||
      !fill_replay_gain_frames(tag, values) || std::fseek(mp3, 0, SEEK_SET) != 0) {
    return false;
  }
  return std::fwrite(tag.data(), 1, tag.size(), mp3) == tag.size() && std::fseek(mp3, 0, SEEK_END) == 0;
}

}  // namespace tunekiln
