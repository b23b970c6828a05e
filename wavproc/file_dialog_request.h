#pragma once

#include <string>
#include <string_view>

namespace tunekiln {

// What a file dialog offers: the filter list and the default-extension text, whose first
// three characters are appended to a name typed without an extension.
struct FileDialogRequest {
  std::string_view defaultExtension;
  std::string_view filter;
};

// A name chosen without an extension gets the first three characters of the default-extension
// text ("Wav" from "Wav File(*.wav)|*.wav"), as the dialogs of the system this tool follows do.
inline std::string with_default_extension(std::string path, const FileDialogRequest& dialog) {
  const auto name = path.rfind('/');
  const bool hasExtension = path.find('.', name == std::string::npos ? 0 : name + 1) != std::string::npos;
  if (!hasExtension && !dialog.defaultExtension.empty()) {
    path += '.';
    path += dialog.defaultExtension.substr(0, 3);
  }
  return path;
}

inline constexpr FileDialogRequest kWavFileDialog{"Wav File(*.wav)|*.wav", "Wav File(*.wav)|*.wav||"};
// The input of the WAV operations and of Save to MP3, which also read what decodes to a WAV file.
inline constexpr FileDialogRequest kSoundInputDialog{
    "Wav File(*.wav)|*.wav",
    "Wav File(*.wav)|*.wav|FLAC File(*.flac)|*.flac|Ogg Vorbis File(*.ogg;*.oga)|*.ogg;*.oga|"
    "Opus File(*.opus)|*.opus|Mp3 File(*.mp3)|*.mp3||"};

}  // namespace tunekiln
