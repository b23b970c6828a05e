#include "shell/main_form.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audiofile/byte_reader.h"
#include "audiofile/wave_header.h"
#include "encoder/save_to_mp3.h"
#include "engine/engine_texts.h"
#include "engine/mixer.h"
#include "engine/wave_view.h"
#include "platform/input_file.h"
#include "resources/strings.h"
#include "shell/activity_mode.h"
#include "shell/form_ids.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/wav_operations.h"

namespace tunekiln {
namespace {

using namespace form_ids;

constexpr int kSliderMaximum = 100;               // the slider shows percent of the stream
constexpr std::int32_t kProgressMaximum = 1000000;
constexpr std::uint32_t kFinishedPercent = 98;   // the form takes the stream for finished here
constexpr int kVolumeStep = 10;
constexpr std::chrono::seconds kEscapeDelay{1};  // Esc stops the volume dialog's pass after this
constexpr std::uint32_t kWaveformSeekScale = 1000000;  // a click seeks to a millionth of the stream

constexpr std::string_view kPlaybackButtons[] = {kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume, kDecodeToWav};

// How a file operation ended, in a message box; a cancelled one has nothing to say.
void show_result(FormDialogs& dialogs, const OperationResult& result) {
  if (!result.message.empty()) dialogs.showMessage(result.message);
}

}  // namespace

std::string format_hms(std::uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 60 / 60, seconds / 60 % 60, seconds % 60);
  return text;
}

MainForm::MainForm(FormWidgets& widgets, FormDialogs& dialogs, NotificationSink& window, EngineSlotsFactory makeSlots,
                   std::function<DecoderSlots()> waveformDecoders)
    : widgets_(widgets),
      dialogs_(dialogs),
      window_(window),
      makeSlots_(std::move(makeSlots)),
      waveformDecoders_(std::move(waveformDecoders)) {}

MainForm::~MainForm() = default;

void MainForm::OnInitialUpdate() {
  widgets_.setSliderRange(0, kSliderMaximum);
  widgets_.setProgressRange(kProgressMaximum);
  widgets_.setProgressPosition(0);
  setPlaybackButtons(false);
  // A form made anew keeps its player rather than starting a further engine.
  if (!currentPlayer) currentPlayer = player_create(window_, makeSlots_);
}

void MainForm::setPlaybackButtons(bool enabled) {
  for (const auto id : kPlaybackButtons) widgets_.enable(id, enabled);
}

void MainForm::OnOpenMp3File() {
  const FileDialogRequest dialog{strings::kMp3OpenDefaultExtension, strings::kMp3OpenFilter};
  const auto path = dialogs_.chooseFileToOpen(dialog);
  if (path) openFile(*path);
}

bool MainForm::openFile(const std::string& path) {
  errno = 0;
  if (!InputFile::open(path)) {
    const std::string reason(errno != 0 ? std::string_view(std::strerror(errno)) : strings::kNotARegularFile);
    dialogs_.showMessage(std::string(strings::kFailedToOpenDocument) + "\n" + path + ": " + reason);
    return false;
  }
  openingFrom_ = postMarker();
  player_open(*currentPlayer, path);
  openingUntil_ = postMarker();
  opening_ = path;
  showWaveformOf(path);  // after the player's open, which it must not hold up
  setPlaybackButtons(true);
  widgets_.setLabel(kFileName, "");
  widgets_.setLabel(kFileName, path);
  return true;
}

void MainForm::OnNewDocument() {
  player_stop(*currentPlayer);
  player_open(*currentPlayer, std::nullopt);
  postMarker();
  showWaveformOf(std::nullopt);
  OnInitialUpdate();
  widgets_.enable(kOpenMp3File, true);
  widgets_.setSliderPosition(0);
  for (const auto id : {kFileName, kPlayTime, kTotalTime}) widgets_.setLabel(id, "");
}

std::uint32_t MainForm::postMarker() {
  player_post(*currentPlayer, {.number = PLAYER_CMD_PING, .first = ++lastMarker_});
  return lastMarker_;
}

void MainForm::OnPlay() {
  if (!currentPlayer) {
    dialogs_.showMessage(strings::kOpenFileFirst);
    return;
  }
  selectedOutput = 0;  // the sound card
  player_select_output(*currentPlayer);
  activityMode = MODE_PLAYING;
  widgets_.enable(kDecodeToWav, false);
  widgets_.enable(kOpenMp3File, false);
  widgets_.enable(kIncreaseVolume, true);
  widgets_.enable(kDecreaseVolume, true);
  player_play(*currentPlayer);  // also resumes after Pause
}

void MainForm::OnPause() {
  player_pause(*currentPlayer);
  widgets_.enable(kIncreaseVolume, false);
  widgets_.enable(kDecreaseVolume, false);
}

void MainForm::OnStop() {
  player_stop(*currentPlayer);
  postMarker();
  widgets_.enable(kOpenMp3File, true);
  setPlaybackButtons(false);
  widgets_.setSliderPosition(0);
  widgets_.setWaveformCursor(0);
}

void MainForm::OnDecodeToWav() {
  selectedOutput = 2;  // the WAV file writer, which asks for its file itself
  player_select_output(*currentPlayer);
  activityMode = MODE_DECODING;
  player_play(*currentPlayer);
  for (const auto id : {kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume}) widgets_.enable(id, false);
}

void MainForm::OnIncreaseVolume() {
  const auto level = static_cast<int>(mixer_get_volume(*currentPlayer));
  mixer_set_volume(*currentPlayer, static_cast<std::uint32_t>(std::min(level + kVolumeStep, 100)));
}

void MainForm::OnDecreaseVolume() {
  const auto level = static_cast<int>(mixer_get_volume(*currentPlayer));
  mixer_set_volume(*currentPlayer, static_cast<std::uint32_t>(std::max(level - kVolumeStep, 0)));
}

void MainForm::showWaveformOf(const std::optional<std::string>& path) {
  waveform_.reset();
  selection_.reset();
  openPath_ = path.value_or("");
  if (path) {
    waveform_ = std::make_unique<EnvelopeScan>(*path, waveformDecoders_(),
                                               [&window = window_] { window.post({.number = kWaveformGrew}); });
  }
  widgets_.showWaveform(waveform_ ? waveform_->envelope() : nullptr);
  widgets_.setWaveformCursor(0);
}

void MainForm::OnHScroll() { seek(static_cast<std::uint32_t>(widgets_.sliderPosition()), kSliderMaximum); }

void MainForm::OnWaveformClick(double share) {
  if (openPath_.empty()) return;
  selection_.reset();
  widgets_.setSliderPosition(static_cast<int>(share * kSliderMaximum));
  widgets_.setWaveformCursor(share);
  seek(static_cast<std::uint32_t>(std::lround(share * kWaveformSeekScale)), kWaveformSeekScale);
}

void MainForm::seek(std::uint32_t numerator, std::uint32_t denominator) {
  // Whatever plays or not: the engine drops a seek it cannot use.
  player_seek(*currentPlayer, numerator, denominator);
}

void MainForm::OnWaveformSelect(StripSelection range) {
  if (!openPath_.empty()) selection_ = range;
}

void MainForm::OnCutSelection() {
  const std::uint64_t lengthMs = waveform_ ? waveform_->envelope()->lengthMilliseconds() : 0;
  if (!selection_ || lengthMs == 0) {
    OnCutSourceFile();
    return;
  }
  g_cutDialogPreset = cut_entries_ms(share_milliseconds(selection_->from, lengthMs),
                                     share_milliseconds(selection_->to, lengthMs));
  presetInput_ = openPath_;
  OnCutSourceFile();
  // A cut refused before its dialog leaves nothing for the next one.
  g_cutDialogPreset.reset();
  presetInput_.reset();
}

void MainForm::onNotification(const PlayerNotification& notification) {
  // Lengths and positions the engine reported before the form's last Stop, New or Open belong
  // to what that ended; only the opened file's own length may come before the open's end.
  const bool current = answeredMarker_ == lastMarker_;
  if (notification.number == PLAYER_NTF_INFO && notification.info) {
    if (current || answeredMarker_ == openingFrom_) OnPlayerInfo(*notification.info);
  } else if (notification.number == PLAYER_NTF_POSITION) {
    if (current) OnPlayerPosition(heard_seconds(notification));
  } else if (notification.number == PLAYER_NTF_STATE) {
    onState(notification.first);
  } else if (notification.number == PLAYER_NTF_PONG) {
    onPong(notification.first);
  } else if (notification.number == PLAYER_NTF_NO_SOUND_SERVER || notification.number == PLAYER_NTF_FORMAT_REFUSED ||
             notification.number == PLAYER_NTF_SOUND_SERVER_GONE) {
    onSoundOutputFailed(notification.number);
  } else if (notification.number == PLAYER_NTF_READ_FAILED) {
    dialogs_.showMessage(engine_texts::kWavReadError);
  } else if (notification.number == PLAYER_NTF_WRITE_FAILED) {
    dialogs_.showMessage(engine_texts::kWavWriteError);
  } else if (notification.number == kWaveformGrew) {
    widgets_.redrawWaveform();
  }
}

void MainForm::onPong(std::uint32_t token) {
  answeredMarker_ = token;
  if (token == openingUntil_) opening_.clear();
}

void MainForm::onState(std::uint32_t state) {
  if (state == PLAYER_STATE_NO_STREAM && !opening_.empty() && answeredMarker_ == openingFrom_) {
    dialogs_.showMessage(std::string(strings::kFailedToOpenDocument) + "\n" + opening_ + ": " +
                         std::string(strings::kNotPlayable));
    opening_.clear();
    showWaveformOf(std::nullopt);
    setPlaybackButtons(false);
    return;
  }
  if (answeredMarker_ != lastMarker_) return;  // caused by the form itself
  // The output has played or written the last of the stream.
  if (state == PLAYER_STATE_STOPPED && (activityMode == MODE_PLAYING || activityMode == MODE_DECODING)) {
    endOfStream();
  }
}

void MainForm::onSoundOutputFailed(std::uint32_t notification) {
  // Without an output the engine would wait in silence for ever.
  OnStop();
  dialogs_.showMessage(notification == PLAYER_NTF_SOUND_SERVER_GONE ? strings::kSoundOutputGone
                                                                     : strings::kNoSoundOutput);
}

void MainForm::OnPlayerInfo(const StreamInfo& info) {
  store_stream_info(info);
  widgets_.setLabel(kTotalTime, format_hms(totalSeconds));
}

void MainForm::OnPlayerPosition(std::uint32_t seconds) {
  if (activityMode != MODE_PLAYING && activityMode != MODE_DECODING) return;
  widgets_.setLabel(kPlayTime, format_hms(seconds));
  if (const std::uint64_t lengthMs = waveform_ ? waveform_->envelope()->lengthMilliseconds() : 0) {
    widgets_.setWaveformCursor(std::min(1.0, seconds * 1000.0 / static_cast<double>(lengthMs)));
  }
  if (totalSeconds == 0) {  // a stream shorter than a second has no share to show
    widgets_.setSliderPosition(0);
    return;
  }
  const std::uint32_t percent = seconds * 100 / totalSeconds;
  widgets_.setSliderPosition(static_cast<int>(std::min<std::uint32_t>(percent, kSliderMaximum)));
  if (percent >= kFinishedPercent) endOfStream();
}

void MainForm::endOfStream() {
  widgets_.setSliderPosition(0);
  widgets_.setWaveformCursor(0);
  widgets_.enable(kOpenMp3File, true);
  setPlaybackButtons(false);
}

void MainForm::OnEncodeProgress(int percent) {
  if (activityMode != MODE_ENCODING) return;
  widgets_.setProgressPosition(static_cast<std::int32_t>(percent * 0.01 * kProgressMaximum));
}

void MainForm::OnAbstractLeftChannel() { show_result(dialogs_, ExtractChannel(*this, Channel::left)); }
void MainForm::OnAbstractRightChannel() { show_result(dialogs_, ExtractChannel(*this, Channel::right)); }
void MainForm::OnClearHumanVoice() {
  // Shift offers the bass first; a plain click is the button's usual road.
  std::optional<double> keepBassHz;
  if (widgets_.shiftHeld() && !dialogs_.runKeepBassDialog(false, keepBassHz)) return;
  show_result(dialogs_, ClearVoice(*this, nullptr, keepBassHz));
}
void MainForm::OnChangeSourceVolume() { show_result(dialogs_, ChangeVolume(*this)); }
void MainForm::OnCutSourceFile() { show_result(dialogs_, CutByTime(*this)); }
void MainForm::OnSaveToMp3File() {
  activityMode = MODE_ENCODING;  // also when a dialog is then cancelled
  Mp3Settings settings;  // the library's defaults, as ever
  settings.replayGain = widgets_.isChecked(kReplayGain);
  const SaveToMp3Result result = SaveToMp3File(*this, process_console(), settings);
  if (result.status != SaveToMp3Status::cancelled) dialogs_.showMessage(result.text);
}

std::optional<std::string> MainForm::chooseInputFile(const FileDialogRequest& dialog) {
  auto path = presetInput_ ? std::exchange(presetInput_, std::nullopt) : dialogs_.chooseFileToOpen(dialog);
  chosenInput_ = path.value_or("");
  return path;
}

std::optional<std::string> MainForm::chooseOutputFile(const FileDialogRequest& dialog) {
  return dialogs_.chooseFileToSave(dialog);
}

bool MainForm::askVolumeMultiple() {
  std::optional<VolumeHeadroom> headroom;
  if (!measureHeadroom(headroom)) return false;
  return dialogs_.runVolumeDialog(headroom ? &*headroom : nullptr);
}

bool MainForm::measureHeadroom(std::optional<VolumeHeadroom>& headroom) {
  const WaveView input = open_wave_view(chosenInput_);
  if (!input.reader) return true;
  const ByteReader& reader = *input.reader;
  const WaveParse parse = read_wave_header(reader);
  if (!parse.header) return true;
  const WaveHeader& header = *parse.header;
  PcmAnalyser analyser(header.format);
  analyser.countForClipping();
  analyser.measureLoudness();
  const auto start = std::chrono::steady_clock::now();
  bool stopped = false;
  const auto progress = [&](std::uint64_t done) {
    const std::uint64_t frames = std::max<std::uint64_t>(header.frameCount(), 1);
    setProgress(static_cast<std::int32_t>(done * kProgressEnd / frames));
    // A short pass is over before the user could think of stopping it; a key still down from
    // the file dialog must not stop it either.
    stopped = std::chrono::steady_clock::now() - start > kEscapeDelay && widgets_.escapeHeld();
    return !stopped;
  };
  if (read_pcm_into(reader, header, analyser, progress)) {
    const auto& meter = analyser.loudness();
    headroom.emplace(analyser.result(), *analyser.clipCounter(), header.format.encoding(),
                     meter ? std::optional(meter->result()) : std::nullopt);
  }
  setProgress(0);  // the bar is the operation's again
  return !stopped;
}

bool MainForm::askCutTimes() { return dialogs_.runCutDialog(); }

bool MainForm::confirmSilentResult(std::optional<double>& keepBassHz) {
  return dialogs_.runKeepBassDialog(true, keepBassHz);
}

void MainForm::setProgress(std::int32_t position) { widgets_.setProgressPosition(position); }

}  // namespace tunekiln
