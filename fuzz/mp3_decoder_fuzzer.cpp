// The player's MP3 decoder on bytes in memory, handed to it through its source opener: open,
// getInfo, reads of changing sizes to the end, and seeks to places the input's first bytes
// choose. The Xing header parser also gets the raw bytes, so it is reached without a frame.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "engine/mp3_decoder.h"
#include "engine/mp3_stream_scan.h"

namespace tunekiln::fuzz {
namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

class MemorySource final : public InputSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
    got = 0;
    if (position_ < bytes_.size()) {
      got = static_cast<std::uint32_t>(std::min<std::size_t>(count, bytes_.size() - position_));
      std::memcpy(buffer, bytes_.data() + position_, got);
      position_ += got;
    }
    return true;
  }
  void seekTo(std::uint32_t offset) override { position_ = offset; }
  std::uint32_t tell() override { return position_; }
  std::uint32_t size() override { return static_cast<std::uint32_t>(bytes_.size()); }
  bool canSeek() override { return true; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint32_t position_ = 0;
};

void read_to_end(Mp3Decoder& decoder) {
  static constexpr std::array<std::size_t, 4> kPieces = {4096, 3, 6, 32768};
  static std::array<std::uint8_t, 32768> buffer;
  for (std::size_t round = 0;; ++round) {
    const std::size_t capacity = kPieces[round % kPieces.size()];
    std::size_t size = capacity;
    const bool more = decoder.read(buffer.data(), size);
    check(size <= capacity);
    decoder.getInfo();
    check(decoder.getPosition() >= 0);
    if (!more) return;
  }
}

}  // namespace
}  // namespace tunekiln::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using namespace tunekiln::fuzz;
  const std::span<const std::uint8_t> bytes(data, size);

  XingHeader xing;
  mad_bitptr bits;
  mad_bit_init(&bits, data);
  xing_parse(xing, bits, static_cast<unsigned int>(size * 8));

  Mp3Decoder decoder([bytes](const std::string&) { return std::make_unique<MemorySource>(bytes); });
  if (!decoder.open("memory")) return 0;
  decoder.getInfo();
  read_to_end(decoder);
  const std::uint32_t numerator = size > 0 ? data[0] : 0;
  const std::uint32_t denominator = size > 1 ? data[1] : 0;
  for (const auto& [n, d] : {std::pair{numerator, denominator}, std::pair{1u, 2u}, std::pair{1u, 1u}, std::pair{0u, 1u}}) {
    decoder.seek(n, d);
    read_to_end(decoder);
  }
  decoder.getInfo();
  return 0;
}
