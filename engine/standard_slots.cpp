#include "engine/standard_slots.h"

#include "engine/mp3_decoder.h"
#include "engine/sound_file_decoder.h"
#include "engine/wav_decoder.h"
#include "engine/wav_file_writer.h"

namespace tunekiln {

DecoderSlots standard_decoders(unsigned int mp3Threads) {
  auto mp3 = std::make_unique<Mp3Decoder>();
  mp3->decodeOnThreads(mp3Threads);
  return {nullptr, std::make_unique<WavDecoder>(), std::move(mp3), std::make_unique<SoundFileDecoder>()};
}

EngineSlots standard_engine_slots(WavWriterHost& host) {
  return {.decoders = standard_decoders(),
          .outputs = {std::make_unique<SoundCardOutput>(), nullptr, std::make_unique<WavFileWriter>(host)}};
}

}  // namespace tunekiln
