#include "tests/support/engine_doubles.h"

namespace tunekiln::test {

Decoded decode_all(Decoder& decoder, std::size_t blockBytes) {
  Decoded decoded;
  Bytes block(blockBytes);
  while (decoded.last == ReadResult::more) {
    std::size_t size = block.size();
    decoded.last = decoder.read(block.data(), size);
    decoded.pcm.insert(decoded.pcm.end(), block.data(), block.data() + size);
  }
  return decoded;
}

std::string describe(const PlayerNotification& n) {
  static const std::map<std::uint32_t, std::string> kFailures = {
      {PLAYER_NTF_READ_FAILED, "READ_FAILED"}, {PLAYER_NTF_FORMAT_REFUSED, "FORMAT_REFUSED"},
      {PLAYER_NTF_SOUND_SERVER_GONE, "SOUND_SERVER_GONE"}};
  static const char* const kStates[] = {"?", "NO_STREAM", "PAUSED", "PLAYING", "STOPPED"};
  if (n.number == PLAYER_NTF_STATE) return kStates[n.first <= 4 ? n.first : 0];
  if (n.number == PLAYER_NTF_WRITE_FAILED) return "WRITE_FAILED " + std::to_string(n.first);
  return kFailures.contains(n.number) ? kFailures.at(n.number) : "? " + std::to_string(n.number);
}

}  // namespace tunekiln::test
