// Everything that reads a file the user chooses, on one input in memory, identified once as the
// program does. The WAVE header reader and the LIST/INFO and ID3v2 tag readers: a header that
// reads must describe samples that lie inside it. The player's WAV, MP3 and FLAC/Ogg decoders:
// open, getInfo, reads of changing sizes to the end, and seeks to places the input's first bytes
// choose, inside, at and beyond the end; the Xing header parser also gets the raw bytes, so it
// is reached without a frame. The search for where MPEG audio starts and the walk over its
// frames. A compressed file seen as the WAVE file it decodes to, read whole. The audio input
// reader of Save to MP3 (RIFF, RF64, BW64, AIFF and AIFC headers, FLAC, Ogg and MP3 files as
// they decode, raw input), then every frame as the encoding loop reads and encodes it.
#include <lame/lame.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>

#include "audiofile/id3v2_tags.h"
#include "audiofile/info_tags.h"
#include "audiofile/mp3_frame_walk.h"
#include "audiofile/wave_header.h"
#include "encoder/audio_input.h"
#include "engine/mp3_decoder.h"
#include "engine/mp3_stream_scan.h"
#include "engine/sound_file_decoder.h"
#include "engine/wav_decoder.h"
#include "engine/wave_view.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tunekiln;
  using fuzz::check;
  const std::span<const std::uint8_t> bytes(data, size);
  const auto shared = std::make_shared<MemoryByteReader>(bytes);
  const MemoryByteReader& reader = *shared;
  const OpenedFile file = opened_from(shared);
  read_info_tags(reader);
  read_id3v2_tags(reader);
  const WaveParse parse = read_wave_header(reader, id3v2_tag_end(reader));
  describe_wave_encoding(parse.fields);
  check((parse.result == AudioFileResult::ok) == parse.header.has_value());
  if (const auto& header = parse.header) {
    check(header->dataBegin <= header->dataEnd && header->dataEnd <= size);
    check(header->format.bytesPerFrame() > 0 && header->format.bytesPerSecond() > 0);
    check(header->frameCount() * header->format.bytesPerFrame() <= header->dataBytes());
  }

  XingHeader xing;
  mad_bitptr bits;
  mad_bit_init(&bits, data);
  xing_parse(xing, bits, static_cast<unsigned int>(size * 8));

  const std::uint32_t numerator = size > 0 ? data[0] : 0, denominator = size > 1 ? data[1] : 0;
  const std::pair<std::uint32_t, std::uint32_t> seeks[] = {
      {numerator, denominator}, {1, 2}, {1, 1}, {3, 2}, {0, 1}, {0xFFFFFFFF, 1}};
  WavDecoder wav;
  if (wav.open(file)) {
    const StreamInfo info = wav.getInfo();
    check(info.lengthSeconds >= 0 && info.sampleRate > 0);
    const std::uint64_t whole = fuzz::read_to_end(wav, true);
    // No encoding comes out wider than it is stored, and only whole frames, which a sound card takes.
    check(whole <= size && whole % ((info.stereo + 1) * (info.sixteenBit + 1)) == 0);
    for (const auto& [n, d] : seeks) {
      wav.seek(n, d);
      check(fuzz::read_to_end(wav, true) <= whole);
    }
    wav.close();
  }
  const auto start = find_mpeg_audio(reader, id3v2_tag_end(reader));
  check(!start || *start < size);
  Mp3Decoder mp3;
  if (mp3.open(file)) {
    // Where MPEG audio lies: in the data chunk of a WAVE file of MPEG audio, behind junk, in free format.
    check(mp3.walkFrames().result != AudioFileResult::readFailed);
    fuzz::read_to_end(mp3, false);
    for (const auto& [n, d] : seeks) {
      mp3.seek(n, d);
      fuzz::read_to_end(mp3, false);
    }
  }
  SoundFileDecoder compressed;
  if (compressed.open(file)) {
    fuzz::read_to_end(compressed, true, true);
    for (const auto& [n, d] : seeks) {
      compressed.seek(n, d);
      fuzz::read_to_end(compressed, true, true);
    }
    compressed.close();
  }
  // What the WAV operations and analyse read of a compressed file.
  if (const WaveView view = open_wave_view(file); view.decoded && view.reader) {
    const WaveParse decoded = read_wave_header(*view.reader);
    check(decoded.result == AudioFileResult::ok && decoded.header->dataEnd == view.reader->size());
    std::vector<std::uint8_t> block(65536 + 3);
    for (std::uint64_t at = decoded.header->dataBegin; at < view.reader->size(); at += block.size()) {
      if (view.reader->readAt(at, block.data(), block.size()).status != AudioFileResult::ok) break;
    }
  }

  lame_t encoder = lame_init();
  check(encoder != nullptr);
  const auto quiet = [](const char*, va_list) {};
  lame_set_errorf(encoder, quiet);
  lame_set_msgf(encoder, quiet);
  lame_set_debugf(encoder, quiet);
  // The reader's warnings go nowhere; opened once, as the process's standard error would be.
  static std::FILE* const nowhere = std::fopen("/dev/null", "w");
  check(nowhere != nullptr);
  AudioInput input{.messages = nowhere};
  if (attach_audio_input(input, encoder, file) &&
      input.sampleRateUsable && lame_init_params(encoder) >= 0) {
    // Each frame goes through the encoder too, so that what the reader hands it (a float
    // file's extremes included) is checked by the library's own use of it.
    FrameSamples f;
    constexpr int kOut = 16384;
    static unsigned char out[kOut];
    for (std::optional<std::size_t> n; (n = read_audio_frame(input, encoder, f)) && *n > 0;) {
      check(*n <= kMaxFrameSamples);
      const int count = static_cast<int>(*n);
      const int encoded = input.realSamples()
          ? lame_encode_buffer_ieee_float(encoder, f.realLeft.data(), f.realRight.data(), count, out, kOut)
          : lame_encode_buffer_int(encoder, f.left.data(), f.right.data(), count, out, kOut);
      // -1 is the library's "buffer too small", which a header's absurd rate (1 Hz, resampled to
      // thousands of times the samples) can bring about; the command reports it as a failure.
      if (encoded == -1) break;
      check(encoded >= 0);
    }
  }
  lame_close(encoder);
  return 0;
}
