#include "engine/sound_file_decoder.h"

#include "audiofile/decoded_wave.h"
#include "audiofile/sound_file_reader.h"

namespace tunekiln {

bool SoundFileDecoder::open(const OpenedFile& file) {
  close();
  refusal_.clear();
  if (!file.identity.decodedBySoundFile()) return false;
  auto opened = SoundFileReader::open(file.reader, file.identity);
  if (!opened.reader) {
    refusal_ = opened.result == AudioFileResult::readFailed ? "the file could not be read" : opened.reason;
    return false;
  }
  name_ = kind_name(file.identity.kind);
  damage_ = damage_reason(file.identity.kind);
  if (!wave_.openWave(std::make_shared<DecodedWave>(std::move(opened.reader)), 0)) {
    refusal_ = wave_.refusal();
    return false;
  }
  return true;
}

ReadResult SoundFileDecoder::read(std::uint8_t* buffer, std::size_t& size) {
  const ReadResult result = wave_.read(buffer, size);
  if (result == ReadResult::failed) refusal_ = damage_;
  return result;
}

}  // namespace tunekiln
