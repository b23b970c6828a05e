#include "cli/play_keys.h"

#include <algorithm>

namespace tunekiln {
namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kControlC = 0x03;
constexpr std::uint32_t kStepPerMille = 50;  // 5 % of the stream

}  // namespace

std::vector<PlayKey> PlayKeyDecoder::decode(const std::uint8_t* bytes, std::size_t count) {
  std::vector<PlayKey> keys;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t byte = bytes[i];
    if (escapeProgress_ == 1) {
      escapeProgress_ = byte == '[' || byte == 'O' ? 2 : 0;
      if (escapeProgress_ == 2) continue;
    } else if (escapeProgress_ == 2) {
      escapeProgress_ = 0;
      if (byte == 'D') keys.push_back(PlayKey::back);
      if (byte == 'C') keys.push_back(PlayKey::forward);
      continue;
    }
    if (byte == kEscape) {
      escapeProgress_ = 1;
    } else if (byte == ' ') {
      keys.push_back(PlayKey::pauseOrResume);
    } else if (byte == 'q' || byte == 'Q') {
      keys.push_back(PlayKey::quit);
    } else if (byte == kControlC) {
      keys.push_back(PlayKey::interrupt);
    }
  }
  return keys;
}

std::uint32_t seek_target(std::uint32_t perMille, PlayKey arrow) {
  if (arrow == PlayKey::back) return perMille > kStepPerMille ? perMille - kStepPerMille : 0;
  return std::min<std::uint32_t>(perMille + kStepPerMille, 1000);
}

}  // namespace tunekiln
