#pragma once

#include <string>

#include "encoder/console_status.h"
#include "encoder/mp3_settings.h"
#include "encoder/save_to_mp3_host.h"

namespace tunekiln {

inline constexpr FileDialogRequest kMp3FileDialog{"Mp3 File(*.mp3)|*.mp3", "Mp3 File(*.mp3)|*.mp3||"};

// How Save to MP3 ended.
enum class SaveOutcome {
  finished,   // the MP3 is in place; "the Mp3 file changed ok!" was shown
  failed,     // the reason was shown, or stands on the error stream; no output was left
  cancelled,  // a dialog was cancelled; nothing was opened or shown
};

struct SaveToMp3Result {
  SaveOutcome outcome;
  int exitStatus;  // for the command line: 0, 1, or 2 when the input could not be closed
  std::string reason = {};  // why the input was refused, where its header says ("FLAC audio is not supported")
};

// "Save to Mp3 File": asks for a WAV, AIFF or raw PCM file and for an MP3 file, encodes the
// one into the other at libmp3lame's defaults (or `settings`) with a LAME Tag, and tells the
// user how it ended.
SaveToMp3Result SaveToMp3File(SaveToMp3Host& host, EncoderConsole& console = process_console(),
                              const Mp3Settings& settings = {});

}  // namespace tunekiln
