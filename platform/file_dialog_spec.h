#pragma once

#include <string_view>

namespace tunekiln {

// What a file dialog offers: the filter list and the default-extension text, whose first
// three characters are appended to a name typed without an extension.
struct FileDialogSpec {
  std::string_view defaultExtension;
  std::string_view filter;
};

inline constexpr FileDialogSpec kWavFileDialog{"Wav File(*.wav)|*.wav", "Wav File(*.wav)|*.wav||"};

}  // namespace tunekiln
