#include "cli/engine_session.h"

#include <cstdio>
#include <optional>

#include "cli/reporting.h"
#include "engine/wav_decoder.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

std::optional<std::string> refusal_reason(const WaveParse& parse) {
  switch (parse.result) {
    case AudioFileResult::unsupportedEncoding:
    case AudioFileResult::unsupportedChannels:
      return describe_wave_encoding(parse.fields) + " is not supported";
    case AudioFileResult::damaged:
      return "the WAV header is damaged or incomplete";  // as the WAV operations say it
    case AudioFileResult::readFailed:
      return "the file could not be read";
    default:
      return std::nullopt;  // no WAV file at all
  }
}

// AIFF files are read for Save to MP3 only.
bool is_aiff(const std::string& file) {
  const auto reader = open_file_reader(file);
  std::uint8_t head[12];
  return reader && reader->readExactly(0, head, sizeof head) && chunk_id_is(head, "FORM") &&
         (chunk_id_is(head + 8, "AIFF") || chunk_id_is(head + 8, "AIFC"));
}

}  // namespace

std::string clock_text(std::uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

int fail_unrecognized(const std::string& file, const std::string& shownName) {
  WavDecoder decoder;
  decoder.open(file);  // refused again, as it was by the engine
  if (const auto reason = refusal_reason(decoder.lastParse())) {
    return report_failure(wav_texts::kUnrecognized, FileFault{shownName, *reason});
  }
  if (is_aiff(file)) return report_failure(wav_texts::kUnrecognized, FileFault{shownName, "AIFF files are read only by encode"});
  return report_failure(wav_texts::kUnrecognized);
}

bool refused_before_pong(NotificationQueue& notifications) {
  bool refused = false;
  for (;;) {
    const auto notification = notifications.next();
    if (notification.number == PLAYER_NTF_PONG) return refused;
    refused = refused || (notification.number == PLAYER_NTF_STATE && notification.first == PLAYER_STATE_NO_STREAM);
  }
}

}  // namespace tunekiln
