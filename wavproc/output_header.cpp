#include "wavproc/output_header.h"

#include <limits>

#include "audiofile/size_field.h"

namespace tunekiln {
namespace {

constexpr std::uint64_t kFileHeaderBytes = 12;  // "RIFF", its size, "WAVE"
constexpr std::uint32_t kDs64BodyBytes = 28;    // RIFF size, data size, sample count, table length
constexpr std::uint32_t kSeeDs64 = 0xFFFFFFFF;
constexpr std::uint32_t kFrontCentre = 0x4;     // the speaker of a mono WAVE_FORMAT_EXTENSIBLE file
constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

std::vector<std::uint8_t> little_endian(std::uint64_t value, int bytes) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(bytes));
  for (int i = 0; i < bytes; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  return out;
}

std::vector<std::uint8_t> id(const char (&name)[5]) { return {name, name + 4}; }

}  // namespace

OutputHeader::OutputHeader(const WaveParse& input, const PcmFormat& format, std::uint64_t dataBytes)
    : input_(*input.header),
      extensible_(input.fields.extensible),
      format_(format),
      copied_(input_.data.bodyOffset()),
      sizes64_(input_.form != RiffForm::riff || copied_ + dataBytes - 8 > kMax32),
      becomesRf64_(input_.form == RiffForm::riff && sizes64_) {
  if (becomesRf64_ && !(input_.junk && input_.junk->size >= kDs64BodyBytes)) {
    inserted_ = id("ds64");
    const auto size = little_endian(kDs64BodyBytes, 4);
    inserted_.insert(inserted_.end(), size.begin(), size.end());
    inserted_.resize(8 + kDs64BodyBytes);  // its values come with the other sizes
  }
}

std::uint64_t OutputHeader::outputOffset(std::uint64_t inputOffset) const {
  return inputOffset < kFileHeaderBytes ? inputOffset : inputOffset + inserted_.size();
}

std::vector<HeaderPatch> OutputHeader::patches(std::uint64_t dataBytes) const {
  const std::uint64_t length = copied_ + inserted_.size() + dataBytes;
  const std::uint64_t frames = dataBytes / format_.bytesPerFrame();
  std::vector<HeaderPatch> patches;
  const auto put = [&](std::uint64_t inputOffset, std::vector<std::uint8_t> bytes) {
    patches.push_back({outputOffset(inputOffset), std::move(bytes)});
  };

  const std::uint64_t fmt = input_.fmt.bodyOffset();
  // The byte rate and block align come from the format also where the input states others:
  // nothing reads them here, but other programs divide by them.
  put(fmt + 8, little_endian(format_.bytesPerSecond(), 4));
  put(fmt + 12, little_endian(format_.bytesPerFrame(), 2));
  if (format_.channels() != input_.format.channels()) {
    put(fmt + 2, little_endian(format_.channels(), 2));
    if (extensible_) put(fmt + 20, little_endian(kFrontCentre, 4));
  }
  if (input_.fact && input_.fact->size >= 4) put(input_.fact->bodyOffset(), little_endian(clamp_to_u32(frames), 4));

  if (!sizes64_) {
    put(4, little_endian(clamp_to_u32(length - 8), 4));
    put(input_.data.offset + 4, little_endian(clamp_to_u32(dataBytes), 4));
    return patches;
  }
  if (becomesRf64_) {
    put(0, id("RF64"));
    // A JUNK chunk kept for it turns into the `ds64`, with an empty table.
    if (inserted_.empty()) {
      put(kFileHeaderBytes, id("ds64"));
      put(kFileHeaderBytes + 8 + 24, little_endian(0, 4));
    }
  }
  put(4, little_endian(kSeeDs64, 4));
  put(input_.data.offset + 4, little_endian(kSeeDs64, 4));
  const std::uint64_t ds64Body = kFileHeaderBytes + 8;  // in front of any inserted bytes, so not shifted
  patches.push_back({ds64Body, little_endian(length - 8, 8)});
  patches.push_back({ds64Body + 8, little_endian(dataBytes, 8)});
  patches.push_back({ds64Body + 16, little_endian(frames, 8)});
  return patches;
}

}  // namespace tunekiln
