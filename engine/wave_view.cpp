#include "engine/wave_view.h"

#include "audiofile/decoded_wave.h"
#include "audiofile/sound_file_reader.h"
#include "engine/mp3_pcm_source.h"

namespace tunekiln {

WaveView open_wave_view(const OpenedFile& file) {
  const FileIdentity& identity = file.identity;
  if (identity.decodedBySoundFile()) {
    auto opened = SoundFileReader::open(file.reader, identity);
    if (!opened.reader) return {.result = opened.result, .reason = opened.reason};
    return {std::make_shared<DecodedWave>(std::move(opened.reader)), true};
  }
  if (identity.kind == FileKind::mp3) {
    std::string refusal;
    auto source = Mp3PcmSource::open(file, refusal);
    if (!source) return {.result = AudioFileResult::damaged, .reason = refusal};
    return {std::make_shared<DecodedWave>(std::move(source)), true};
  }
  return {file.reader};
}

WaveView open_wave_view(const std::string& path) {
  const OpenedFile file = open_audio_file(path);
  if (!file.reader) return {.result = AudioFileResult::readFailed};
  return open_wave_view(file);
}

}  // namespace tunekiln
