#pragma once

#include "engine/player.h"
#include "engine/sound_card_output.h"
#include "engine/wav_writer_host.h"

namespace tunekiln {

// The decoders in the order files are offered to them: slot 1 the WAV decoder, slot 2 the MP3
// decoder, slot 3 the FLAC, Ogg Vorbis and Opus decoder; slot 0 is empty. The MP3 decoder
// decodes on up to `mp3Threads` threads (see Mp3Decoder).
DecoderSlots standard_decoders(unsigned int mp3Threads = 1);

// The player's decoders and outputs: output slot 0 is the sound card; slot 2 is the WAV file
// writer, asking `host` for its destination; slot 1 is empty.
EngineSlots standard_engine_slots(WavWriterHost& host);

}  // namespace tunekiln
