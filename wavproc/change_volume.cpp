#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "wavproc/pcm_samples.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// s × factor in double precision, truncated toward zero, clipped to low..high.
std::int32_t scale_sample(std::int32_t sample, float factor, std::int32_t low, std::int32_t high) {
  const double product = std::trunc(static_cast<double>(sample) * static_cast<double>(factor));
  if (std::isnan(product)) return 0;  // 0 × an infinite factor
  if (product <= low) return low;
  if (product >= high) return high;
  return static_cast<std::int32_t>(product);
}

// Every possible input sample's result, computed once: the loops then cost a lookup per sample.
FrameTransform eight_bit_scaler(float factor, std::size_t channels) {
  std::vector<std::uint8_t> table(256);
  for (int byte = 0; byte < 256; ++byte) {
    pcm::write8(&table[static_cast<std::size_t>(byte)], scale_sample(byte - pcm::kEightBitZero, factor, -128, 127));
  }
  return [table = std::move(table), channels](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
    const std::size_t samples = frames * channels;
    for (std::size_t i = 0; i < samples; ++i) out[i] = table[in[i]];
    return samples;
  };
}

static_assert(std::endian::native == std::endian::little);

FrameTransform sixteen_bit_scaler(float factor, std::size_t channels) {
  std::vector<std::uint16_t> table(65536);
  for (std::uint32_t raw = 0; raw < table.size(); ++raw) {
    table[raw] = static_cast<std::uint16_t>(scale_sample(static_cast<std::int16_t>(raw), factor, -32768, 32767));
  }
  return [table = std::move(table), channels](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
    const std::uint16_t* results = table.data();  // a local the compiler knows no store can change
    const std::size_t samples = frames * channels;
    for (std::size_t i = 0; i < samples; ++i) {
      std::uint16_t sample;
      std::memcpy(&sample, in + 2 * i, 2);  // whole 16-bit loads: the host's byte order is the file's
      std::memcpy(out + 2 * i, &results[sample], 2);
    }
    return 2 * samples;
  };
}

}  // namespace

Outcome ChangeVolume(WavProcessHost& host) {
  WavJob job(host);
  if (auto ended = job.open()) return *ended;
  const std::uint16_t bits = job.inputField16(34);
  if (bits != 8 && bits != 16) return job.fail(wav_texts::kOnly8Or16Bits);
  if (!host.askVolumeMultiple()) return job.cancel();
  const std::uint16_t channels = job.inputField16(22);
  if (channels != 1 && channels != 2) return job.fail(wav_texts::kNotSupported);
  if (auto ended = job.findData(36)) return *ended;
  if (auto ended = job.copyHeader()) return *ended;

  const auto transform = bits == 16 ? sixteen_bit_scaler(g_volumeMultiple, channels)
                                    : eight_bit_scaler(g_volumeMultiple, channels);
  const std::size_t frameBytes = channels * (bits / 8u);
  if (auto ended = job.processFrames(job.headerLength(), job.dataEnd(), frameBytes, job.inputLength(), transform)) {
    return *ended;
  }
  return job.finish(wav_texts::kChangeVolumeFinished);
}

}  // namespace tunekiln
