#pragma once

#include "wavproc/wav_process_host.h"

namespace tunekiln {

// What Save to MP3 needs from whoever started it: the file dialogs of every file operation, and
// the encoding's progress. How it ended comes back as its result.
class SaveToMp3Host : public WavProcessHost {
 public:
  // ENCODE_NTF_PROGRESS: the share of the conversion done, 0 to 100. The encoding goes on
  // only when this returns, so the window has moved its bar by then.
  virtual void encodeProgress(int percent) = 0;
};

}  // namespace tunekiln
