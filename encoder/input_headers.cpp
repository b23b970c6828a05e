// What the input is: a WAVE or AIFF file the reader takes, a file it refuses, or raw samples.
// Only an input that starts like no kind of file it knows is raw: encoding a header it cannot
// read as samples would make noise of it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "audiofile/aiff_header.h"
#include "audiofile/mp3_frame_walk.h"
#include "audiofile/riff_walker.h"
#include "audiofile/wave_header.h"
#include "encoder/audio_input.h"
#include "encoder/encoder_texts.h"
#include "encoder/text_format.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

// The search for MPEG audio looks for a first frame within 64 KiB and reads at most a chain of
// four free-format frames behind it; held in memory, these bytes let it look at a stream without
// reading it to its end.
constexpr std::size_t kMpegSearchBytes = 80 * 1024;
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
bool set_sample_rate(AudioInput& input, lame_t encoder, double rate) {
  if (!(rate >= 1)) return fail_unsupported(input, format_text("a sample rate of %g Hz", rate));
  if (rate < static_cast<double>(std::numeric_limits<std::int32_t>::max()) + 1) {
    lame_set_in_samplerate(encoder, static_cast<int>(rate));
  } else {
    input.sampleRateUsable = false;
  }
  return true;
}

// "FLAC audio", "Ogg audio" or "MP3 audio" when `head` is recognisably the start of a file of
// that kind, MPEG audio also behind junk or in free format.
std::optional<std::string> other_audio_kind(const std::vector<std::uint8_t>& head) {
  if (head.size() >= 4 && chunk_id_is(head.data(), "fLaC")) return "FLAC audio";
  if (head.size() >= 4 && chunk_id_is(head.data(), "OggS")) return "Ogg audio";
  if (find_mpeg_audio(MemoryByteReader(head), 0)) return "MP3 audio";
  return std::nullopt;
}

std::optional<SampleEncoding> aiff_encoding(const AiffFields& fields, bool real) {
  if (real) return fields.sampleSize == 32 ? std::optional(SampleEncoding::float32) : std::nullopt;
  // 8-bit AIFF samples are stored signed: the reader's signedBytes says so.
  return fields.sampleSize > 0 ? integer_encoding(static_cast<std::uint32_t>(fields.sampleSize)) : std::nullopt;
}

}  // namespace

bool detect_input_type(AudioInput& input, lame_t encoder) {
  const InputBytes& bytes = *input.inputStream;
  input.inputType = INPUT_RAW;
  // A tag in front of the audio, as MP3 files and a few WAVE files carry.
  const std::uint64_t start = id3v2_tag_end(bytes);
  std::vector<std::uint8_t> head(kMpegSearchBytes);
  const auto got = bytes.readAt(start, head.data(), head.size());
  if (got.status == AudioFileResult::readFailed) return fail(input, texts::kReadError);
  head.resize(got.bytes);
  const std::uint8_t* id = head.data();
  const bool whole = head.size() >= 4;
  if (whole && (chunk_id_is(id, "RIFF") || chunk_id_is(id, "RF64") || chunk_id_is(id, "BW64"))) {
    if (!parse_wave_chunks(input, encoder, start)) return false;
    input.inputType = INPUT_WAVE;
    return true;
  }
  if (whole && chunk_id_is(id, "FORM")) {
    if (!parse_aiff_chunks(input, encoder, start)) return false;
    input.inputType = INPUT_AIFF;
    return true;
  }
  if (const auto kind = other_audio_kind(head)) return fail_unsupported(input, *kind);
  if (start > 0) return fail_unsupported(input, "MP3 audio");  // a tag and no audio known behind it
  if (head.size() < kRawFrameBytes) return fail(input, texts::kUnsupportedFormat, "the file holds no audio");
  input.inputStream->startAt(0);
  return true;
}

bool parse_wave_chunks(AudioInput& input, lame_t encoder, std::uint64_t start) {
  const auto parse = read_wave_header(*input.inputStream, start);
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
  // A stream whose header leaves the length open is read to its end.
  if (header.dataEnd == UINT64_MAX && !input.inputStream->sizeKnown()) {
    input.framesLeft.reset();
  } else {
    input.framesLeft = header.frameCount();
    lame_set_num_samples(encoder, header.frameCount());
  }
  input.inputStream->startAt(header.dataBegin);
  return true;
}

bool parse_aiff_chunks(AudioInput& input, lame_t encoder, std::uint64_t start) {
  const auto parse = read_aiff_header(*input.inputStream, start);
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
    const std::uint64_t size = input.inputStream->size();
    const std::uint64_t bytesPerFrame = fields.channels * bytes_per_sample(*encoding);
    const std::uint64_t held = size > header.soundBegin ? (size - header.soundBegin) / bytesPerFrame : 0;
    input.framesLeft = std::min<std::uint64_t>(fields.sampleFrames, held);
  }
  input.inputStream->startAt(header.soundBegin);
  return true;
}

}  // namespace tunekiln
