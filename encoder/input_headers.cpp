// What the input is: a WAVE or AIFF file the reader takes, a file it refuses, or raw samples.
// Only an input that starts like no kind of file it knows is raw: encoding a header it cannot
// read as samples would make noise of it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "audiofile/aiff_header.h"
#include "audiofile/info_tags.h"
#include "audiofile/riff_walker.h"
#include "audiofile/wave_header.h"
#include "encoder/audio_input.h"
#include "encoder/encoder_texts.h"
#include "engine/wave_view.h"
#include "encoder/text_format.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

// The sample count that stands for "no header gave a length".
constexpr std::uint32_t kUnknownSampleCount = 0xFFFFFFFF;
// Raw input is 16-bit stereo: less than one frame is no audio at all.
constexpr std::size_t kRawFrameBytes = 4;
bool fail(AudioInput& input, std::string text, std::string reason = {}) {
  input.failure = InputFailure{std::move(text), std::move(reason)};
  return false;
}

bool fail_unsupported(AudioInput& input, const std::string& what) {
  return fail(input, texts::kUnsupportedFormat, what + " is not supported");
}

// The encoder takes its input sample rate as a 32-bit integer; a rate outside that range has
// none, and the encoder is to refuse it. A rate below 1 Hz has no samples to speak of.
// FLAC, Ogg Vorbis, Opus and MP3 files are encoded from the WAVE file they decode to.
bool attach_decoded(AudioInput& input, lame_t encoder, const OpenedFile& file) {
  const WaveView view = open_wave_view(file);
  if (view.result == AudioFileResult::readFailed) return fail(input, texts::kReadError);
  if (!view.reader) return fail(input, texts::kUnsupportedFormat, view.reason);
  if (file.identity.kind == FileKind::mp3) std::fprintf(input.messages, "%s\n", texts::kReencodingMp3);
  input.reader = view.reader;
  input.inputType = INPUT_WAVE;
  input.tags = read_info_tags(*view.reader);
  input.damage = damage_reason(file.identity.kind);
  return parse_wave_chunks(input, encoder, 0);
}

bool set_sample_rate(AudioInput& input, lame_t encoder, double rate) {
  if (!(rate >= 1)) return fail_unsupported(input, format_text("a sample rate of %g Hz", rate));
  if (rate < static_cast<double>(std::numeric_limits<std::int32_t>::max()) + 1) {
    lame_set_in_samplerate(encoder, static_cast<int>(rate));
  } else {
    input.sampleRateUsable = false;
  }
  return true;
}

std::optional<SampleEncoding> aiff_encoding(const AiffFields& fields, bool real) {
  if (real) return fields.sampleSize == 32 ? std::optional(SampleEncoding::float32) : std::nullopt;
  // 8-bit AIFF samples are stored signed: the reader's signedBytes says so.
  return fields.sampleSize > 0 ? integer_encoding(static_cast<std::uint32_t>(fields.sampleSize)) : std::nullopt;
}

}  // namespace

bool attach_audio_input(AudioInput& input, lame_t encoder, const OpenedFile& file) {
  input = AudioInput{.messages = input.messages};
  lame_set_num_samples(encoder, kUnknownSampleCount);
  const FileIdentity& identity = file.identity;
  input.reader = file.reader;
  switch (identity.kind) {
    case FileKind::wave:
      input.inputType = INPUT_WAVE;
      input.tags = read_info_tags(*file.reader);
      return parse_wave_chunks(input, encoder, identity.start);
    case FileKind::aiff:
      input.inputType = INPUT_AIFF;
      return parse_aiff_chunks(input, encoder, identity.start);
    case FileKind::unknown:
      break;
    default:
      return attach_decoded(input, encoder, file);
  }
  if (identity.result == AudioFileResult::readFailed) return fail(input, texts::kReadError);
  if (!identity.reason.empty()) return fail(input, texts::kUnsupportedFormat, identity.reason);
  if (identity.start > 0) return fail(input, texts::kUnsupportedFormat, "no audio stands behind the ID3v2 tag");
  if (file.reader->size() < kRawFrameBytes) return fail(input, texts::kUnsupportedFormat, "the file holds no audio");
  input.inputType = INPUT_RAW;
  std::fprintf(input.messages, "%s\n", texts::kAssumingRaw);
  // The encoder's default of two 16-bit channels.
  const auto bytesPerFrame = static_cast<std::uint64_t>(lame_get_num_channels(encoder)) * 2;
  lame_set_num_samples(encoder, static_cast<unsigned long>(std::min<std::uint64_t>(file.reader->size() / bytesPerFrame,
                                                                                   kUnknownSampleCount - 1)));
  return true;
}

bool parse_wave_chunks(AudioInput& input, lame_t encoder, std::uint64_t start) {
  const auto parse = read_wave_header(*input.reader, start);
  switch (parse.result) {
    case AudioFileResult::ok:
      break;
    case AudioFileResult::readFailed:
      return fail(input, texts::kReadError);
    case AudioFileResult::unsupportedEncoding:
      // An integer width the reader has no loop for keeps the reader's own text for it.
      return fail(input, parse.fields.formatTag == 1 ? texts::kUnsupportedWidth : texts::kUnsupportedFormat,
                  describe_wave_encoding(parse.fields) + " is not supported");
    case AudioFileResult::notThisFormat:
      return fail(input, texts::kUnsupportedFormat, "a RIFF file that holds no WAVE audio");
    default:
      return fail(input, texts::kUnsupportedFormat, "the WAVE header is damaged or incomplete");
  }

  const WaveHeader& header = *parse.header;
  const PcmFormat& format = header.format;
  if (format.channels() != 1 && format.channels() != 2) {
    return fail(input, format_text(texts::kUnsupportedChannels, static_cast<unsigned>(format.channels())),
                describe_wave_encoding(parse.fields) + " is not supported");
  }
  lame_set_num_channels(encoder, format.channels());
  if (!set_sample_rate(input, encoder, format.sampleRate())) return false;
  input.encoding = format.encoding();
  input.bigEndian = false;
  input.framesLeft = header.frameCount();
  lame_set_num_samples(encoder, header.frameCount());
  input.position = header.dataBegin;
  return true;
}

bool parse_aiff_chunks(AudioInput& input, lame_t encoder, std::uint64_t start) {
  const auto parse = read_aiff_header(*input.reader, start);
  switch (parse.result) {
    case AudioFileResult::ok:
      break;
    case AudioFileResult::readFailed:
      return fail(input, texts::kReadError);
    case AudioFileResult::notThisFormat:
      return fail(input, texts::kUnsupportedFormat, "a FORM file that holds no AIFF audio");
    default:
      return fail(input, texts::kUnsupportedFormat, "the AIFF header is damaged or incomplete");
  }

  const AiffHeader& header = *parse.header;
  const AiffFields& fields = header.fields;
  const bool real = fields.compressedForm && (fields.compressionIs("fl32") || fields.compressionIs("FL32"));
  const bool swapped = fields.compressedForm && fields.compressionIs("sowt");
  if (fields.compressedForm && !real && !swapped && !fields.compressionIs("NONE") && !fields.compressionIs("twos")) {
    const std::string compression(fields.compression.begin(), fields.compression.end());
    return fail_unsupported(input, "AIFC compression '" + compression + "'");
  }
  if (fields.channels < 1) return fail(input, texts::kUnsupportedFormat, "the AIFF header is damaged or incomplete");
  const std::string kind = std::to_string(fields.sampleSize) + (real ? "-bit float" : "-bit AIFF") + " in a " +
                           std::to_string(fields.channels) + "-channel file is not supported";
  const auto encoding = aiff_encoding(fields, real);
  if (!encoding) return fail(input, real ? texts::kUnsupportedFormat : texts::kUnsupportedWidth, kind);
  if (fields.channels > 2) {
    return fail(input, format_text(texts::kUnsupportedChannels, static_cast<unsigned>(fields.channels)), kind);
  }
  // Samples laid out in blocks are not read here.
  if (header.blockSize != 0) return fail_unsupported(input, format_text("an AIFF block size of %u", header.blockSize));

  lame_set_num_channels(encoder, fields.channels);
  if (!set_sample_rate(input, encoder, fields.sampleRate)) return false;
  input.encoding = *encoding;
  input.signedBytes = true;
  input.bigEndian = !swapped;
  lame_set_num_samples(encoder, fields.sampleFrames);
  // A count of 0 is read on to the end of the file; a larger count than the file holds, to its end.
  if (fields.sampleFrames != 0) {
    const std::uint64_t size = input.reader->size();
    const std::uint64_t bytesPerFrame = fields.channels * bytes_per_sample(*encoding);
    const std::uint64_t held = size > header.soundBegin ? (size - header.soundBegin) / bytesPerFrame : 0;
    input.framesLeft = std::min<std::uint64_t>(fields.sampleFrames, held);
  }
  input.position = header.soundBegin;
  return true;
}

}  // namespace tunekiln
