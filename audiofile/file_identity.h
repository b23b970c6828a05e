#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audiofile/byte_reader.h"

namespace tunekiln {

// The kinds of file the program reads.
enum class FileKind {
  wave,       // RIFF, RF64 or BW64 WAVE, whatever its encoding
  aiff,       // AIFF or AIFC
  mp3,        // MPEG audio frames, behind an ID3v2 tag or junk
  flac,       // native FLAC
  oggVorbis,  // an Ogg stream whose first packet is a Vorbis header
  oggOpus,    // an Ogg stream whose first packet is an Opus header
  unknown,
};

// What a file is, told once from its first bytes.
struct FileIdentity {
  FileKind kind = FileKind::unknown;
  AudioFileResult result = AudioFileResult::notThisFormat;  // ok, readFailed or notThisFormat
  std::uint64_t start = 0;  // where the kind's own bytes begin: behind an ID3v2 tag
  std::string reason;       // why an unknown file is not read, for a reason line; may be empty

  bool decodedBySoundFile() const {
    return kind == FileKind::flac || kind == FileKind::oggVorbis || kind == FileKind::oggOpus;
  }
};

FileIdentity identify_file(const ByteReader& reader);

// "flac", "vorbis", "opus", "mp3", "wav", "aiff": the kind as `info` and messages name it.
const char* kind_name(FileKind kind);
// "FLAC", "Ogg Vorbis", "Opus", "MP3", "WAV", "AIFF": the kind in the words of a reason line.
std::string kind_label(FileKind kind);

// Why a file that no decoder takes is not played: AIFF files are read by encode alone.
std::string unplayable_reason(const FileIdentity& identity);

// Why a read of a decoded file fails: "the FLAC stream is damaged or cut short".
std::string damage_reason(FileKind kind);

// A file opened once, by the first reader that needs it; every later reader shares it.
struct OpenedFile {
  std::string name;
  std::shared_ptr<const ByteReader> reader;  // nothing when the file did not open; errno says why
  FileIdentity identity;
};

OpenedFile open_audio_file(const std::string& path);
// Bytes a test or a fuzzer holds.
OpenedFile opened_from(std::shared_ptr<const ByteReader> reader, std::string name = "memory");

}  // namespace tunekiln
