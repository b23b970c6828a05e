#include "encoder/encoding_loop.h"

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

}  // namespace

EncodeResult encode_to_mp3(SaveToMp3Host& host, lame_t encoder, AudioInput& input, std::FILE* output,
                           EncoderConsole& console) {
  FrameSamples pcm;
  std::vector<unsigned char> mp3Buffer(kMp3BufferBytes);
  for (;;) {
    const auto samples = read_audio_frame(input, encoder, pcm);
    if (!samples) return {EncodeStatus::inputFailed};
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
