#pragma once

#include <string_view>

// The messages of the WAV operations, exactly as users and scripts see them.
namespace tunekiln::wav_texts {

inline constexpr std::string_view kOpenInputError = "Open the input wav file error!";
inline constexpr std::string_view kOpenOutputError = "Open the output wav file error!";
inline constexpr std::string_view kSameFile = "Input file and Output file are the same!";
inline constexpr std::string_view kMustBeStereo = "Input wav file must be stereo!";
inline constexpr std::string_view kUnsupportedEncoding =
    "Only Support 8, 16, 24 or 32 bits PCM or 32 or 64 bits float wav file!";
inline constexpr std::string_view kUnrecognized = "can not recongnize this file format!";
inline constexpr std::string_view kWriteError = "Write the output wav file error!";
inline constexpr std::string_view kReadError = "Read the input wav file error!";

inline constexpr std::string_view kLeftFinished = "Abstract left channel finished!";
inline constexpr std::string_view kRightFinished = "Abstract right channel finished!";
inline constexpr std::string_view kClearVoiceFinished = "clear voice  finished!";
inline constexpr std::string_view kChangeVolumeFinished = "change volume  finished!";
inline constexpr std::string_view kCutFinished = "cut the file finished!";

inline constexpr std::string_view kEntryError = "输入错误!";
inline constexpr std::string_view kStartPastEnd = "start time is past the end of the file!";
inline constexpr std::string_view kStartBeforeEnd = "start time must be less than end time!";

}  // namespace tunekiln::wav_texts
