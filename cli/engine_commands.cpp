#include "cli/engine_commands.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/engine_session.h"
#include "cli/terminal_status.h"
#include "engine/engine_texts.h"
#include "engine/player.h"
#include "engine/player_engine.h"
#include "engine/standard_slots.h"
#include "platform/input_file.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {


// The decoders' names for `info`, by slot of standard_decoders().
constexpr const char* kDecoderNames[kSlotCount] = {"", "wav", "mp3"};

// The destination prompt of a decoding started from the command line: OUT the first time. The
// writer asks again only when OUT could not be opened; then the answer is Cancel, which ends
// the decoding, and the failure is kept for the end.
class CommandLineDestination final : public WavWriterHost {
 public:
  explicit CommandLineDestination(std::string path) : path_(std::move(path)) {}

  std::optional<std::string> chooseDestination(const FileDialogRequest&) override {
    if (asked_) {
      failure_ = wav_texts::kOpenOutputError;
      return std::nullopt;
    }
    asked_ = true;
    return path_;
  }
  void showMessage(std::string_view text) override { failure_ = text; }

  // Read after the engine has reported STOPPED, which orders it after the engine's writes.
  const std::optional<std::string>& failure() const { return failure_; }

 private:
  std::string path_;
  bool asked_ = false;
  std::optional<std::string> failure_;
};




int decode(const std::string& in, const std::string& out) {
  const auto input = InputFile::open(in);
  if (!input) return fail(kOpenInputError);
  // Checked before anything is written, as the output must never replace the input.
  if (is_same_file(input->fd(), out)) return fail(wav_texts::kSameFile);

  NotificationQueue notifications;
  CommandLineDestination destination(out);
  TerminalStatusLine statusLine;
  bool readFailed = false;
  {
    const auto player = player_create(notifications, [&destination] { return standard_engine_slots(destination); });
    player_open(*player, in);
    player_post(*player, {.number = PLAYER_CMD_PING});
    if (refused_before_pong(notifications)) return fail_unrecognized(in);

    selectedOutput = 2;  // the WAV file writer
    player_select_output(*player);
    player_play(*player);
    for (;;) {
      const auto notification = notifications.next();
      if (notification.number == PLAYER_NTF_INFO) {
        store_stream_info(*notification.info);
      } else if (notification.number == PLAYER_NTF_POSITION) {
        statusLine.show(clock_text(notification.first) + " / " + clock_text(totalSeconds));
      } else if (notification.number == PLAYER_NTF_READ_FAILED) {
        readFailed = true;
      } else if (notification.number == PLAYER_NTF_STATE && notification.first == PLAYER_STATE_STOPPED) {
        break;
      }
    }
  }  // the engine thread has ended
  statusLine.clear();
  if (destination.failure()) return fail(*destination.failure());
  if (readFailed) return fail(engine_texts::kWavReadError);
  return 0;
}

int info(const std::string& file) {
  if (!InputFile::open(file)) return fail(kOpenInputError);
  auto decoders = standard_decoders();
  const auto slot = choose_decoder(decoders, file);
  if (!slot) return fail_unrecognized(file);
  const StreamInfo stream = decoders[*slot]->getInfo();
  decoders[*slot]->close();
  // The file's own sample width comes behind the lines of the decoder's stream.
  std::printf("lengthSeconds=%d\nbitrateKbps=%d\nsampleRate=%d\nstereo=%d\nsixteenBit=%d\ndecoder=%s\n"
              "bitsPerSample=%d\nfloat=%d\n",
              stream.lengthSeconds, stream.bitrateKbps, stream.sampleRate, stream.stereo, stream.sixteenBit,
              kDecoderNames[*slot], stream.bitsPerSample, stream.floatSamples);
  return 0;
}

}  // namespace

void add_engine_commands(CLI::App& app, int& status) {
  auto in = std::make_shared<std::string>();
  auto out = std::make_shared<std::string>();

  auto* decode_command = app.add_subcommand("decode", "Decode an MP3 or WAV file into a 16- or 8-bit PCM WAV file");
  decode_command->add_option("IN", *in, "MP3 or WAV file to decode (never changed)")->required();
  decode_command->add_option("OUT", *out, "WAV file to write (replaced only by a complete result)")->required();
  decode_command->callback([&status, in, out] { status = decode(*in, *out); });

  auto* info_command = app.add_subcommand("info", "Show the length and format of an MP3 or WAV file");
  info_command->add_option("FILE", *in, "MP3 or WAV file")->required();
  info_command->callback([&status, in] { status = info(*in); });
}

}  // namespace tunekiln
