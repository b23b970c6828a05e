#pragma once

#include "wavproc/wav_job.h"
#include "wavproc/wav_process_host.h"

// The four operations of "Wav file process". Each asks its host for the files (and, for the
// volume and the cut, its parameters), writes the new file and tells the user how it ended.
namespace tunekiln {

enum class Channel { left, right };

// Stereo to mono: one channel's samples, unchanged.
Outcome ExtractChannel(WavProcessHost& host, Channel channel);
// Stereo to mono: right minus left, which removes what both channels share (a centre voice).
Outcome ClearVoice(WavProcessHost& host);
// Every sample times g_volumeMultiple, clipped to the sample's range.
Outcome ChangeVolume(WavProcessHost& host);
// The frames from g_cutStartSeconds to g_cutEndSeconds.
Outcome CutByTime(WavProcessHost& host);

}  // namespace tunekiln
