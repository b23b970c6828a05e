#pragma once

#include <string>

#include "encoder/console_status.h"
#include "encoder/mp3_settings.h"
#include "encoder/save_to_mp3_host.h"

namespace tunekiln {

inline constexpr FileDialogRequest kMp3FileDialog{"Mp3 File(*.mp3)|*.mp3", "Mp3 File(*.mp3)|*.mp3||"};

// How Save to MP3 ended. Only `finished` leaves an MP3 behind; after any other a file that stood
// at the output's path is unchanged.
enum class SaveToMp3Status {
  finished,           // the MP3 is in place
  cancelled,          // a dialog was cancelled; nothing was opened and there is nothing to tell
  inputFailed,        // the input could not be opened, read on, or encoded
  outputFailed,       // the paths name one file, or the MP3 could not be made, written or put in place
  settingsRefused,    // the encoding library refused its parameters: the input's sample rate with the settings
  encoderNotStarted,  // the encoding library could not be set up
};

struct SaveToMp3Result {
  SaveToMp3Status status;
  std::string text = {};    // what the user is told, one line without its break; empty when cancelled
  std::string reason = {};  // inputFailed: what the input holds that cannot be encoded ("FLAC audio is not supported")
  int outputError = 0;      // outputFailed: the errno of the call that failed; 0 when no file was at fault
  // outputFailed during the encoding: the encoder's own line (a library error code, a short
  // write) for a console that shows the encoding, line break included.
  std::string consoleDetail = {};
};

// "Save to Mp3 File": asks for a WAV, AIFF or raw PCM file and for an MP3 file, and encodes the
// one into the other at libmp3lame's defaults (or `settings`) with a LAME Tag. The progress goes
// to `host` and `console`; how it ended, and what to tell the user, comes back.
SaveToMp3Result SaveToMp3File(SaveToMp3Host& host, EncoderConsole& console = process_console(),
                              const Mp3Settings& settings = {});

}  // namespace tunekiln
