#pragma once

#include <string_view>

#include "wavproc/wav_process_host.h"

namespace tunekiln {

// What Save to MP3 needs from whoever started it: the file dialogs and the message of every
// file operation, and the encoding's progress.
class SaveToMp3Host : public WavProcessHost {
 public:
  // ENCODE_NTF_PROGRESS: the share of the conversion done, 0 to 100. The encoding goes on
  // only when this returns, so the window has moved its bar by then.
  virtual void encodeProgress(int percent) = 0;
  // How Save to MP3 ended, or why it stopped.
  virtual void showMessage(std::string_view text) = 0;
  // A refusal already written to the encoder's error stream (the two paths name one file, or
  // the output cannot be made), without its line break. A host whose error stream nobody
  // reads, the window, shows it as well; otherwise the user would see nothing happen.
  virtual void showRefusal(std::string_view) {}
};

}  // namespace tunekiln
