#include "encoder/encoding_loop.h"

#include <cstring>
#include <vector>

#include "encoder/encoder_texts.h"
#include "encoder/text_format.h"

namespace tunekiln {
namespace texts = encoder_texts;
namespace {

constexpr int kStatusInterval = 50;  // frames between two progress reports
// The first call also returns the ID3v2 tag, which the library's own limit allows this large.
constexpr int kMp3BufferBytes = LAME_MAXMP3BUFFER;

EncodeResult library_failed(int code) {
  return {EncodeStatus::libraryFailed, code == -1 ? texts::kBufferTooSmall : format_text(texts::kInternalError, code)};
}

// The meter takes interleaved frames: the two arrays side by side again, as 32-bit integers
// with the sample in the high bits or as floats.
void measure_frame(LoudnessMeter& meter, bool real, int channels, const FrameSamples& pcm, std::size_t count,
                   std::vector<std::uint8_t>& interleaved) {
  const auto side = [&](std::size_t channel) -> const void* {
    if (real) return channel == 0 ? pcm.realLeft.data() : pcm.realRight.data();
    return channel == 0 ? pcm.left.data() : pcm.right.data();
  };
  const auto perChannel = static_cast<std::size_t>(channels);
  interleaved.resize(count * perChannel * 4);
  for (std::size_t channel = 0; channel < perChannel; ++channel) {
    const auto* from = static_cast<const std::uint8_t*>(side(channel));
    for (std::size_t i = 0; i < count; ++i) std::memcpy(&interleaved[(i * perChannel + channel) * 4], from + 4 * i, 4);
  }
  meter.add(interleaved.data(), count);
}

}  // namespace

EncodeResult encode_to_mp3(SaveToMp3Host& host, lame_t encoder, AudioInput& input, std::FILE* output,
                           EncoderConsole& console, LoudnessMeter* meter) {
  FrameSamples pcm;
  std::vector<unsigned char> mp3Buffer(kMp3BufferBytes);
  std::vector<std::uint8_t> interleaved;
  for (;;) {
    const auto samples = read_audio_frame(input, encoder, pcm);
    if (!samples) return {EncodeStatus::inputFailed};
    if (meter != nullptr) measure_frame(*meter, input.realSamples(), lame_get_num_channels(encoder), pcm, *samples,
                                        interleaved);
    const int frame = lame_get_frameNum(encoder);
    if (frame % kStatusInterval == 0) {
      return_console_cursor(console);
      host.encodeProgress(show_time_status(console, frame, lame_get_totalframes(encoder)));
    }
    // Mono and stereo take the same call; for mono the library reads the left array only.
    const int count = static_cast<int>(*samples);
    const int bytes = input.realSamples() ? lame_encode_buffer_ieee_float(encoder, pcm.realLeft.data(),
                                                                          pcm.realRight.data(), count,
                                                                          mp3Buffer.data(), kMp3BufferBytes)
                                          : lame_encode_buffer_int(encoder, pcm.left.data(), pcm.right.data(),
                                                                   count, mp3Buffer.data(), kMp3BufferBytes);
    if (bytes < 0) return library_failed(bytes);
    if (std::fwrite(mp3Buffer.data(), 1, static_cast<std::size_t>(bytes), output) != static_cast<std::size_t>(bytes)) {
      return {EncodeStatus::writeFailed, texts::kWriteError};
    }
    if (*samples == 0) break;
  }

  const int bytes = lame_encode_flush(encoder, mp3Buffer.data(), kMp3BufferBytes);
  if (bytes < 0) return library_failed(bytes);
  return_console_cursor(console);
  // The window's bar ends where the conversion does, not at the last fiftieth frame.
  host.encodeProgress(show_time_status(console, lame_get_frameNum(encoder), lame_get_totalframes(encoder)));
  flush_console_output(console);
  end_time_status(console);
  // A short write here shows when the output is closed.
  std::fwrite(mp3Buffer.data(), 1, static_cast<std::size_t>(bytes), output);
  return {EncodeStatus::finished};
}

void write_lame_tag(lame_t encoder, std::FILE* output, EncoderConsole& console) {
  const bool tagged = lame_get_bWriteVbrTag(encoder) != 0;
  if (tagged) std::fputs(texts::kWritingTag, console.out);
  lame_mp3_tags_fid(encoder, output);
  if (tagged) std::fputs(texts::kTagDone, console.out);
}

}  // namespace tunekiln
