#pragma once

#include <string_view>

// The texts of the window that the program shows, in one place.
namespace tunekiln::strings {

inline constexpr std::string_view kAppTitle = "tunekiln";  // also every message box's caption
inline constexpr std::string_view kMainCaption = "dedodu ro3 zeziruv";
inline constexpr std::string_view kOpenFileFirst = "请先打开文件!";
inline constexpr std::string_view kSettingsVendor = "Local AppWizard-Generated Applications";

// The document commands of the frame.
inline constexpr std::string_view kAllFilesFilter = "All Files (*.*)|*.*";
inline constexpr std::string_view kFailedToOpenDocument = "Failed to open document.";
inline constexpr std::string_view kNotARegularFile = "Not a regular file";
inline constexpr std::string_view kNotPlayable = "Not an MP3 or WAV file that can be played";

// Playing through the sound card.
inline constexpr std::string_view kNoSoundOutput = "No sound output could be opened!";
inline constexpr std::string_view kSoundOutputGone = "The sound output has gone away!";

// The dialog of "Open Mp3 File".
inline constexpr std::string_view kMp3OpenDefaultExtension = "MP3 File(*.mp3)|*.mp3";
inline constexpr std::string_view kMp3OpenFilter =
    "MP3 File(*.mp3)|*.mp3|Wav File(*.wav)|*.wav|FLAC File(*.flac)|*.flac|"
    "Ogg Vorbis File(*.ogg;*.oga)|*.ogg;*.oga|Opus File(*.opus)|*.opus||";

// Clear Human Voice with Shift held, or on a file whose two channels are identical.
inline constexpr std::string_view kKeepBassIntro = "Clear Human Voice removes what the two channels share.";
inline constexpr std::string_view kSilentResultQuestion =
    "The two channels are identical: removing the centre leaves silence.\nGo on?";
inline constexpr std::string_view kKeepBassEntryError = "Please enter the frequency in Hz, a number above 0.";

}  // namespace tunekiln::strings
