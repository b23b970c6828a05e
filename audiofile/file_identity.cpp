#include "audiofile/file_identity.h"

#include <cstring>

#include "audiofile/mp3_frame_walk.h"
#include "audiofile/riff_walker.h"
#include "audiofile/wave_header.h"

namespace tunekiln {
namespace {

// An Ogg page header is 27 bytes and its segment table; the first packet follows.
constexpr std::size_t kOggPageHeader = 27;

bool starts_with(const std::uint8_t* bytes, std::size_t size, const char* text) {
  const std::size_t length = std::strlen(text);
  return size >= length && std::memcmp(bytes, text, length) == 0;
}

FileIdentity identify_ogg(const ByteReader& reader, std::uint64_t start) {
  std::uint8_t page[kOggPageHeader + 255 + 8];
  const auto got = reader.readAt(start, page, sizeof page);
  if (got.status == AudioFileResult::readFailed) return {.result = got.status};
  const std::size_t packet = got.bytes > kOggPageHeader ? kOggPageHeader + page[kOggPageHeader - 1] : got.bytes;
  const std::uint8_t* first = page + packet;
  const std::size_t left = got.bytes > packet ? got.bytes - packet : 0;
  if (starts_with(first, left, "\x01vorbis")) return {FileKind::oggVorbis, AudioFileResult::ok, start};
  if (starts_with(first, left, "OpusHead")) return {FileKind::oggOpus, AudioFileResult::ok, start};
  return {.start = start, .reason = "an Ogg stream of neither Vorbis nor Opus audio is not supported"};
}

}  // namespace

FileIdentity identify_file(const ByteReader& reader) {
  const std::uint64_t start = id3v2_tag_end(reader);
  std::uint8_t head[12] = {};
  const auto got = reader.readAt(start, head, sizeof head);
  if (got.status == AudioFileResult::readFailed) return {.result = got.status};
  const bool riff = chunk_id_is(head, "RIFF") || chunk_id_is(head, "RF64") || chunk_id_is(head, "BW64");
  if (got.bytes == sizeof head && riff && chunk_id_is(head + 8, "WAVE")) {
    return {FileKind::wave, AudioFileResult::ok, start};
  }
  if (got.bytes == sizeof head && chunk_id_is(head, "FORM") &&
      (chunk_id_is(head + 8, "AIFF") || chunk_id_is(head + 8, "AIFC"))) {
    return {FileKind::aiff, AudioFileResult::ok, start};
  }
  if (starts_with(head, got.bytes, "fLaC")) return {FileKind::flac, AudioFileResult::ok, start};
  if (starts_with(head, got.bytes, "OggS")) return identify_ogg(reader, start);
  if (find_mpeg_audio(reader, start)) return {FileKind::mp3, AudioFileResult::ok, start};
  if (riff) return {.start = start, .reason = "a RIFF file that holds no WAVE audio is not supported"};
  return {.start = start};
}

const char* kind_name(FileKind kind) {
  switch (kind) {
    case FileKind::wave:
      return "wav";
    case FileKind::aiff:
      return "aiff";
    case FileKind::mp3:
      return "mp3";
    case FileKind::flac:
      return "flac";
    case FileKind::oggVorbis:
      return "vorbis";
    case FileKind::oggOpus:
      return "opus";
    case FileKind::unknown:
      break;
  }
  return "";
}

std::string kind_label(FileKind kind) {
  switch (kind) {
    case FileKind::oggVorbis:
      return "Ogg Vorbis";
    case FileKind::oggOpus:
      return "Opus";
    default: {
      std::string label = kind_name(kind);
      for (char& c : label) c = static_cast<char>(c - 'a' + 'A');
      return label;
    }
  }
}

std::string unplayable_reason(const FileIdentity& identity) {
  return identity.kind == FileKind::aiff ? "AIFF files are read only by encode" : identity.reason;
}

std::string damage_reason(FileKind kind) { return "the " + kind_label(kind) + " stream is damaged or cut short"; }

OpenedFile open_audio_file(const std::string& path) {
  std::shared_ptr<const ByteReader> reader = open_file_reader(path);
  if (!reader) return {.name = path, .identity = {.result = AudioFileResult::readFailed}};
  return opened_from(std::move(reader), path);
}

OpenedFile opened_from(std::shared_ptr<const ByteReader> reader, std::string name) {
  FileIdentity identity = identify_file(*reader);
  return {std::move(name), std::move(reader), std::move(identity)};
}

}  // namespace tunekiln
