#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "encoder/save_to_mp3_host.h"
#include "engine/notification_sink.h"
#include "engine/player.h"
#include "engine/standard_slots.h"
#include "engine/waveform_envelope.h"
#include "shell/form_widgets.h"
#include "shell/waveform_strip_logic.h"

namespace tunekiln {

// "01:02:05" for 3725 seconds; hours take more digits when they need them.
std::string format_hms(std::uint32_t seconds);

// What the form posts to its own window: the waveform's envelope has grown.
inline constexpr std::uint32_t kWaveformGrew = 0xC001;

// The logic of the main form: its buttons drive the player, its labels, slider and progress
// bar show what the player and the file operations report. It runs on the window's thread
// and is the host of every file operation started from the form.
class MainForm final : public SaveToMp3Host {
 public:
  // The player is made with `makeSlots` at the first initial update and reports to `window`;
  // the waveform of each opened file is read with decoders made by `waveformDecoders`.
  MainForm(FormWidgets& widgets, FormDialogs& dialogs, NotificationSink& window, EngineSlotsFactory makeSlots,
           std::function<DecoderSlots()> waveformDecoders = [] { return standard_decoders(); });
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;
  // Ends the engine thread and waits for it.
  ~MainForm() override;

  // Runs when the form is first shown and whenever the document is made anew.
  void OnInitialUpdate();

  void OnOpenMp3File();
  // Opens a file in the player as "Open Mp3 File" does once its dialog is confirmed: the file
  // named on the command line, chosen with Ctrl+O or dropped on the window. One that cannot be
  // read, or that the player refuses, is reported with the reason; false for one that cannot
  // be read.
  bool openFile(const std::string& path);
  // Ctrl+N: the playing stops and the playback group is back as at start-up.
  void OnNewDocument();
  void OnPlay();
  void OnPause();
  void OnStop();
  void OnDecodeToWav();
  void OnIncreaseVolume();
  void OnDecreaseVolume();
  // Every scroll notification of the slider, whatever its kind.
  void OnHScroll();
  // A click on the waveform strip seeks to the share of the stream shown there, as the slider
  // does; a drag selects a range of it.
  void OnWaveformClick(double share);
  void OnWaveformSelect(StripSelection range);
  // Ctrl+K: the cut dialog for the open file, filled in with the selected range; without a
  // selection, Cut Source File as the button does.
  void OnCutSelection();

  void OnAbstractLeftChannel();
  void OnAbstractRightChannel();
  void OnClearHumanVoice();
  void OnChangeSourceVolume();
  void OnCutSourceFile();
  void OnSaveToMp3File();

  // A notification of the player, on the window's thread, in the order they were posted.
  void onNotification(const PlayerNotification& notification);
  void OnPlayerInfo(const StreamInfo& info);
  void OnPlayerPosition(std::uint32_t seconds);
  void OnEncodeProgress(int percent);

  Player* player() const { return currentPlayer.get(); }
  // For the window that goes before the engine has ended: the player, to be ended elsewhere.
  std::unique_ptr<Player> releasePlayer() { return std::move(currentPlayer); }

  // The host of the file operations.
  std::optional<std::string> chooseInputFile(const FileDialogRequest& dialog) override;
  std::optional<std::string> chooseOutputFile(const FileDialogRequest& dialog) override;
  bool askVolumeMultiple() override;
  bool askCutTimes() override;
  bool confirmSilentResult(std::optional<double>& keepBassHz) override;
  void setProgress(std::int32_t position) override;
  void encodeProgress(int percent) override { OnEncodeProgress(percent); }

 private:
  void setPlaybackButtons(bool enabled);
  void seek(std::uint32_t numerator, std::uint32_t denominator);
  // Stops reading the waveform shown and starts reading that of `path`, if any.
  void showWaveformOf(const std::optional<std::string>& path);
  void endOfStream();
  void onState(std::uint32_t state);
  void onPong(std::uint32_t token);
  // One of the sound card's failures, PLAYER_NTF_NO_SOUND_SERVER and the others.
  void onSoundOutputFailed(std::uint32_t notification);
  // Posts a PING whose answer marks the point after everything posted so far; returns its token.
  std::uint32_t postMarker();
  // One pass over the chosen input, with the bar moving, for the volume dialog's lines: false
  // when the user stopped it with Esc; `headroom` stays empty when the input cannot be read.
  bool measureHeadroom(std::optional<VolumeHeadroom>& headroom);

  FormWidgets& widgets_;
  FormDialogs& dialogs_;
  NotificationSink& window_;
  EngineSlotsFactory makeSlots_;
  std::unique_ptr<Player> currentPlayer;
  // States the engine reports before the answer to the newest marker were caused by the form's
  // own Stop, New or open, and are not the stream's end.
  std::uint32_t lastMarker_ = 0;
  std::uint32_t answeredMarker_ = 0;
  // The file being opened, between the markers posted around its OPEN: a state of "no stream"
  // there is the player refusing it.
  std::string opening_;
  std::uint32_t openingFrom_ = 0;
  std::uint32_t openingUntil_ = 0;
  // The input the user chose last for a file operation.
  std::string chosenInput_;
  // The input of the next file operation, taken in place of asking the user.
  std::optional<std::string> presetInput_;

  std::function<DecoderSlots()> waveformDecoders_;
  // The file the player has open, its waveform and the range selected on it.
  std::string openPath_;
  std::unique_ptr<EnvelopeScan> waveform_;
  std::optional<StripSelection> selection_;
};

}  // namespace tunekiln
