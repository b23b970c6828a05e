// What the input is: a WAVE or AIFF file the reader takes, a file of another kind it refuses,
// or raw samples.
#include <algorithm>
#include <cmath>
#include <limits>

#include "audiofile/aiff_header.h"
#include "audiofile/mpeg_frame_header.h"
#include "audiofile/riff_walker.h"
#include "audiofile/wave_header.h"
#include "encoder/audio_input.h"
#include "encoder/encoder_texts.h"
#include "encoder/text_format.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

// The encoder takes its input sample rate as a 32-bit integer; a rate outside that range has none.
bool fits_int32(double rate) {
  return std::isfinite(rate) && rate > static_cast<double>(std::numeric_limits<std::int32_t>::min()) - 1 &&
         rate < static_cast<double>(std::numeric_limits<std::int32_t>::max()) + 1;
}

void set_sample_rate(AudioInput& input, lame_t encoder, double rate) {
  if (fits_int32(rate)) {
    lame_set_in_samplerate(encoder, static_cast<int>(rate));
  } else {
    input.sampleRateUsable = false;
  }
}

HeaderVerdict fail(AudioInput& input, std::string text, std::string reason = {}) {
  if (!reason.empty()) reason += " is not supported";
  input.failure = InputFailure{std::move(text), std::move(reason)};
  return HeaderVerdict::failed;
}

// An AIFF header the reader's checks turn down: its text, and the file is read as raw input.
HeaderVerdict turn_down(AudioInput& input, const std::string& text) {
  std::fputs(text.c_str(), input.messages);
  return HeaderVerdict::refused;
}

// "MP3 audio", "FLAC audio" or "Ogg audio" when the input is recognisably a file of that kind
// from `start` on; an MPEG frame counts when a second one follows it where its length says.
std::optional<std::string> other_audio_kind(const ByteReader& reader, std::uint64_t start) {
  std::uint8_t head[4];
  if (!reader.readExactly(start, head, sizeof head)) return std::nullopt;
  if (chunk_id_is(head, "fLaC")) return "FLAC audio";
  if (chunk_id_is(head, "OggS")) return "Ogg audio";
  const auto frame = parse_mpeg_frame_header(head);
  std::uint8_t next[4];
  if (!frame || !reader.readExactly(start + frame->bytes, next, sizeof next)) return std::nullopt;
  const auto following = parse_mpeg_frame_header(next);
  if (following && following->sameStreamAs(*frame)) return "MP3 audio";
  return std::nullopt;
}

}  // namespace

bool detect_input_type(AudioInput& input, lame_t encoder) {
  const InputBytes& bytes = *input.inputStream;
  input.inputType = INPUT_RAW;
  // A tag in front of the audio, as MP3 files and a few WAVE files carry.
  const std::uint64_t start = id3v2_tag_end(bytes);
  std::uint8_t id[4];
  const auto got = bytes.readAt(start, id, sizeof id);
  HeaderVerdict verdict = HeaderVerdict::refused;
  if (got.status == AudioFileResult::readFailed) {
    verdict = fail(input, texts::kReadError);
  } else if (got.status == AudioFileResult::ok &&
             (chunk_id_is(id, "RIFF") || chunk_id_is(id, "RF64") || chunk_id_is(id, "BW64"))) {
    verdict = parse_wave_chunks(input, encoder, start);
    if (verdict == HeaderVerdict::accepted) input.inputType = INPUT_WAVE;
    if (verdict == HeaderVerdict::refused) std::fputs(texts::kCorruptWave, input.messages);
  } else if (got.status == AudioFileResult::ok && chunk_id_is(id, "FORM")) {
    verdict = parse_aiff_chunks(input, encoder, start);
    if (verdict == HeaderVerdict::accepted) input.inputType = INPUT_AIFF;
  } else if (const auto kind = other_audio_kind(bytes, start)) {
    verdict = fail(input, texts::kUnsupportedFormat, *kind);
  } else if (start > 0) {
    verdict = fail(input, texts::kUnsupportedFormat, "MP3 audio");  // a tag and no frame right behind it
  }
  switch (verdict) {
    case HeaderVerdict::accepted:
      return true;
    case HeaderVerdict::refused:
      // Raw input is big-endian 16-bit whatever a refused header said, and includes the header.
      input.encoding = SampleEncoding::signed16;
      input.bigEndian = true;
      input.framesLeft.reset();
      input.inputStream->startAt(0);
      return true;
    case HeaderVerdict::failed:
      return false;
  }
  return false;
}

HeaderVerdict parse_wave_chunks(AudioInput& input, lame_t encoder, std::uint64_t start) {
  const auto parse = read_wave_header(*input.inputStream, start);
  if (parse.result == AudioFileResult::readFailed) return fail(input, texts::kReadError);
  if (parse.result == AudioFileResult::unsupportedEncoding) {
    // An integer width the reader has no loop for keeps the reader's own text for it.
    const bool pcm = parse.fields.formatTag == 1;
    return fail(input, pcm ? texts::kUnsupportedWidth : texts::kUnsupportedFormat,
                describe_wave_encoding(parse.fields));
  }
  if (parse.result != AudioFileResult::ok) return HeaderVerdict::refused;

  const WaveHeader& header = *parse.header;
  const PcmFormat& format = header.format;
  if (format.channels() != 1 && format.channels() != 2) {
    return fail(input, format_text(texts::kUnsupportedChannels, static_cast<unsigned>(format.channels())),
                describe_wave_encoding(parse.fields));
  }
  lame_set_num_channels(encoder, format.channels());
  set_sample_rate(input, encoder, format.sampleRate());
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
  return HeaderVerdict::accepted;
}

HeaderVerdict parse_aiff_chunks(AudioInput& input, lame_t encoder, std::uint64_t start) {
  const auto parse = read_aiff_header(*input.inputStream, start);
  if (parse.result == AudioFileResult::readFailed) return fail(input, texts::kReadError);
  if (parse.result != AudioFileResult::ok) return HeaderVerdict::refused;

  const AiffHeader& header = *parse.header;
  const AiffFields& fields = header.fields;
  const bool real = fields.compressedForm && (fields.compressionIs("fl32") || fields.compressionIs("FL32"));
  const bool swapped = fields.compressedForm && fields.compressionIs("sowt");
  if (fields.compressedForm && !real && !swapped && !fields.compressionIs("NONE") && !fields.compressionIs("twos")) {
    const std::string compression(fields.compression.begin(), fields.compression.end());
    return fail(input, texts::kUnsupportedFormat, "AIFC compression '" + compression + "'");
  }
  const int width = real ? 32 : 16;
  if (fields.sampleSize != width) return turn_down(input, format_text(texts::kNotBits, width, texts::kAiffFileWord));
  if (fields.channels != 1 && fields.channels != 2) {
    return turn_down(input, format_text(texts::kNotMonoOrStereo, texts::kAiffFileWord));
  }
  if (header.blockSize != 0) return turn_down(input, format_text(texts::kBlockSizeNotZero, texts::kAiffFileWord));

  lame_set_num_channels(encoder, fields.channels);
  set_sample_rate(input, encoder, fields.sampleRate);
  input.encoding = real ? SampleEncoding::float32 : SampleEncoding::signed16;
  input.bigEndian = !swapped;
  lame_set_num_samples(encoder, fields.sampleFrames);
  // A count of 0 is read on to the end of the file; a larger count than the file holds, to its end.
  if (fields.sampleFrames != 0) {
    const std::uint64_t size = input.inputStream->size();
    const std::uint64_t bytesPerFrame = fields.channels * width / 8u;
    const std::uint64_t held = size > header.soundBegin ? (size - header.soundBegin) / bytesPerFrame : 0;
    input.framesLeft = std::min<std::uint64_t>(fields.sampleFrames, held);
  }
  input.inputStream->startAt(header.soundBegin);
  return HeaderVerdict::accepted;
}

}  // namespace tunekiln
