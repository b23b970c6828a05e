#pragma once

#include "engine/player.h"
#include "engine/wav_writer_host.h"

namespace tunekiln {

// The decoders in the order files are offered to them: slot 1 the WAV decoder, slot 2 the MP3
// decoder; slot 0 is empty.
DecoderSlots standard_decoders();

// The player's decoders and outputs: output slot 2 is the WAV file writer, asking `host` for
// its destination; slots 0 (the sound card) and 1 are empty.
EngineSlots standard_engine_slots(WavWriterHost& host);

}  // namespace tunekiln
