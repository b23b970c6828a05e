#pragma once

#include <string_view>

// The texts of Save to MP3, exactly as users and scripts see them. Those with a % are formats.
namespace tunekiln::encoder_texts {

// The audio input reader.
inline constexpr const char* kCouldNotFind = "Could not find \"%s\".\n";
inline constexpr const char* kAssumingRaw = "Assuming raw pcm input file";
inline constexpr const char* kReencodingMp3 = "Encoding an MP3 file again: some of its quality is lost";
inline constexpr const char* kUnsupportedChannels = "Unsupported number of channels: %ud\n";
// A file of another kind (MP3, FLAC, Ogg), a damaged header, or an encoding the reader has no loop for.
inline constexpr const char* kUnsupportedFormat = "Unsupported data format\n";
inline constexpr const char* kUnsupportedWidth = "Only 8, 16, 24 and 32 bit input files supported \n";
inline constexpr const char* kReadError = "Error reading input file\n";

// The encoding loop.
inline constexpr const char* kBufferTooSmall = "mp3 buffer is not big enough... \n";
inline constexpr const char* kInternalError = "mp3 internal error:  error code=%i\n";
inline constexpr const char* kWriteError = "Error writing mp3 output \n";
inline constexpr const char* kWritingTag = "Writing LAME Tag...";
inline constexpr const char* kTagDone = "done\n";

// The settings: a tag text longer than the library takes, named as the options name it.
inline constexpr const char* kTagCut = "Warning: the %s is too long for an ID3v2 tag and is cut short\n";

// The operation.
inline constexpr const char* kSameFile = "Input file and Output file are the same. Abort.\n";
inline constexpr const char* kCannotInitOutfile = "Can't init outfile '%s'\n";
inline constexpr std::string_view kInitFailed = "fatal error during initialization";
inline constexpr std::string_view kOutputWriteFailed = "Write the output mp3 file error!";
inline constexpr std::string_view kFinished = "the Mp3 file changed ok!";

}  // namespace tunekiln::encoder_texts
