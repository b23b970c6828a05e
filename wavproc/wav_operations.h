#pragma once

#include <optional>

#include "wavproc/wav_job.h"
#include "wavproc/wav_process_host.h"

// The four operations of "Wav file process". Each asks its host for the files (and, for the
// volume and the cut, its parameters), writes the new file and returns how it ended, with the
// message for the user.
// They take integer PCM of 8 to 32 bits and float of 32 or 64 bits, plain, EXTENSIBLE or RF64,
// and write the input's own encoding. Given `input`, an operation reads those bytes in place of
// the file the user chooses, as the tests and the fuzzer do.
namespace tunekiln {

enum class Channel { left, right };

// Stereo to mono: one channel's samples, unchanged.
OperationResult ExtractChannel(WavProcessHost& host, Channel channel, const ByteReader* input = nullptr);
// Stereo to mono: right minus left, which removes what both channels share (a centre voice).
// With `keepBassHz`, the centre below that frequency is kept: (R - L) + lowpass((L + R) / 2).
OperationResult ClearVoice(WavProcessHost& host, const ByteReader* input = nullptr,
                           std::optional<double> keepBassHz = std::nullopt);
// Every sample times g_volumeMultiple, clipped to the sample's range.
OperationResult ChangeVolume(WavProcessHost& host, const ByteReader* input = nullptr);
// The frames of g_cutRange, faded at both ends as it says.
OperationResult CutByTime(WavProcessHost& host, const ByteReader* input = nullptr);

}  // namespace tunekiln
