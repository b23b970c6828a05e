#include "audiofile/sound_file_reader.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace tunekiln {
namespace {

constexpr std::size_t kIntegerFrames = 4096;

// libsndfile's callbacks over the reader's bytes, as a file at a position.
template <typename Bytes>
sf_count_t length_of(void* data) {
  const std::uint64_t size = static_cast<Bytes*>(data)->reader->size();
  return static_cast<sf_count_t>(std::min<std::uint64_t>(size, std::numeric_limits<sf_count_t>::max()));
}

template <typename Bytes>
sf_count_t seek_to(sf_count_t offset, int whence, void* data) {
  auto& bytes = *static_cast<Bytes*>(data);
  const sf_count_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? static_cast<sf_count_t>(bytes.position)
                                               : length_of<Bytes>(data);
  sf_count_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  bytes.position = static_cast<std::uint64_t>(target);
  return target;
}

template <typename Bytes>
sf_count_t read_from(void* buffer, sf_count_t count, void* data) {
  auto& bytes = *static_cast<Bytes*>(data);
  if (count <= 0) return 0;
  const auto got = bytes.reader->readAt(bytes.position, buffer, static_cast<std::size_t>(count));
  if (got.status == AudioFileResult::readFailed) bytes.failed = true;
  bytes.position += got.bytes;
  return static_cast<sf_count_t>(got.bytes);
}

template <typename Bytes>
sf_count_t tell_of(void* data) {
  return static_cast<sf_count_t>(static_cast<Bytes*>(data)->position);
}

std::optional<SampleEncoding> encoding_of(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
      return SampleEncoding::unsigned8;
    case SF_FORMAT_PCM_16:
      return SampleEncoding::signed16;
    case SF_FORMAT_PCM_24:
      return SampleEncoding::signed24;
    case SF_FORMAT_PCM_32:
      return SampleEncoding::signed32;
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
      return SampleEncoding::float32;
    default:
      return std::nullopt;
  }
}

// The container and codec libsndfile found must be the ones the first bytes named.
bool is_kind(int format, FileKind kind) {
  const int container = format & SF_FORMAT_TYPEMASK;
  const int codec = format & SF_FORMAT_SUBMASK;
  switch (kind) {
    case FileKind::flac:
      return container == SF_FORMAT_FLAC;
    case FileKind::oggVorbis:
      return container == SF_FORMAT_OGG && codec == SF_FORMAT_VORBIS;
    case FileKind::oggOpus:
      return container == SF_FORMAT_OGG && codec == SF_FORMAT_OPUS;
    default:
      return false;
  }
}

// An Ogg stream ends with a whole page marked as the last: libsndfile takes the length from
// whatever page comes last, so a stream cut short would pass for a shorter one.
bool ogg_ends_whole(const ByteReader& reader) {
  constexpr std::uint64_t kLongestPage = 27 + 255 + 255 * 255;
  const std::uint64_t size = reader.size();
  const std::uint64_t from = size > kLongestPage ? size - kLongestPage : 0;
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - from));
  if (!reader.readExactly(from, tail.data(), tail.size())) return false;
  for (std::size_t at = tail.size() >= 27 ? tail.size() - 27 + 1 : 0; at-- > 0;) {
    if (std::memcmp(tail.data() + at, "OggS", 4) != 0) continue;
    const std::size_t segments = tail[at + 26];
    if (at + 27 + segments > tail.size()) return false;
    std::size_t length = 27 + segments;
    for (std::size_t i = 0; i < segments; ++i) length += tail[at + 27 + i];
    return at + length == tail.size() && (tail[at + 5] & 0x04) != 0;
  }
  return false;
}

std::uint64_t count_frames(SNDFILE* file, std::size_t channels) {
  std::vector<float> scratch(kIntegerFrames * channels);
  std::uint64_t frames = 0;
  for (sf_count_t got; (got = sf_readf_float(file, scratch.data(), kIntegerFrames)) > 0;) {
    frames += static_cast<std::uint64_t>(got);
  }
  sf_seek(file, 0, SEEK_SET);
  return frames;
}

// Integers with full scale at 2^31 into the file's own width, as a WAVE file stores it.
void pack(const int* values, std::size_t count, SampleEncoding encoding, std::uint8_t* out) {
  const std::uint32_t width = bytes_per_sample(encoding);
  for (std::size_t i = 0; i < count; ++i) {
    auto value = static_cast<std::uint32_t>(values[i]) >> (32 - 8 * width);
    if (encoding == SampleEncoding::unsigned8) value ^= 0x80;
    for (std::uint32_t b = 0; b < width; ++b) *out++ = static_cast<std::uint8_t>(value >> (8 * b));
  }
}

}  // namespace

SoundFileReader::Opened SoundFileReader::open(std::shared_ptr<const ByteReader> reader, const FileIdentity& identity) {
  auto bytes = std::make_unique<Bytes>(Bytes{std::move(reader)});
  SF_VIRTUAL_IO io{length_of<Bytes>, seek_to<Bytes>, read_from<Bytes>, nullptr, tell_of<Bytes>};
  SF_INFO info{};
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, bytes.get());
  if (file == nullptr) {
    if (bytes->failed) return {nullptr, AudioFileResult::readFailed, {}};
    return {nullptr, AudioFileResult::damaged,
            "the " + kind_label(identity.kind) + " stream is damaged: " + sf_strerror(nullptr)};
  }
  const auto encoding = encoding_of(info.format);
  const auto format = encoding
                          ? PcmFormat::make(static_cast<std::uint32_t>(std::max(info.samplerate, 0)),
                                            static_cast<std::uint16_t>(std::clamp(info.channels, 0, 65535)), *encoding)
                          : std::nullopt;
  if (!is_kind(info.format, identity.kind) || !format || info.frames < 0) {
    sf_close(file);
    return {nullptr, AudioFileResult::damaged,
            "the " + kind_label(identity.kind) + " stream states no usable sample format"};
  }
  std::unique_ptr<SoundFileReader> opened(new SoundFileReader(std::move(bytes), *format));
  opened->file_ = file;
  opened->whole_ = identity.kind == FileKind::flac || ogg_ends_whole(*opened->bytes_->reader);
  // A FLAC file that does not state its length, or an Ogg stream without its last page, has
  // none libsndfile can tell: what there is is counted.
  opened->frames_ =
      info.frames == SF_COUNT_MAX ? count_frames(file, format->channels()) : static_cast<std::uint64_t>(info.frames);
  // Nothing left to read and find cut short.
  if (!opened->whole_ && opened->frames_ == 0) return {nullptr, AudioFileResult::damaged, damage_reason(identity.kind)};
  if (!format->isFloat()) opened->integers_.resize(kIntegerFrames * format->channels());
  return {std::move(opened), AudioFileResult::ok, {}};
}

SoundFileReader::~SoundFileReader() { sf_close(file_); }

FramesRead SoundFileReader::read(std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  const std::size_t channels = format_.channels();
  while (done < count) {
    sf_count_t got = 0;
    // Floats and 16-bit samples are stored as a WAVE file on this (little-endian) machine has them.
    if (format_.isFloat()) {
      got = sf_readf_float(file_, reinterpret_cast<float*>(out + done * format_.bytesPerFrame()),
                           static_cast<sf_count_t>(count - done));
    } else if (format_.encoding() == SampleEncoding::signed16) {
      got = sf_readf_short(file_, reinterpret_cast<short*>(out + done * format_.bytesPerFrame()),
                           static_cast<sf_count_t>(count - done));
    } else {
      const std::size_t step = std::min(count - done, kIntegerFrames);
      got = sf_readf_int(file_, integers_.data(), static_cast<sf_count_t>(step));
      pack(integers_.data(), static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * channels, format_.encoding(),
           out + done * format_.bytesPerFrame());
    }
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  if (done == count) return {done, AudioFileResult::ok};
  if (bytes_->failed) return {done, AudioFileResult::readFailed};
  return {done, sf_error(file_) != SF_ERR_NO_ERROR ? AudioFileResult::damaged : AudioFileResult::endOfData};
}

bool SoundFileReader::seek(std::uint64_t frame) {
  return frame <= frames_ && sf_seek(file_, static_cast<sf_count_t>(frame), SEEK_SET) == static_cast<sf_count_t>(frame);
}

InfoTags SoundFileReader::tags() const {
  const auto text = [this](int id) {
    const char* value = sf_get_string(file_, id);
    return value != nullptr ? std::string(value) : std::string();
  };
  return {text(SF_STR_TITLE), text(SF_STR_ARTIST),      text(SF_STR_ALBUM),
          text(SF_STR_DATE),  text(SF_STR_TRACKNUMBER), text(SF_STR_COMMENT)};
}

}  // namespace tunekiln
