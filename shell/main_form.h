#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "encoder/save_to_mp3_host.h"
#include "engine/notification_sink.h"
#include "engine/player.h"
#include "shell/form_widgets.h"

namespace tunekiln {

// "01:02:05" for 3725 seconds; hours take more digits when they need them.
std::string format_hms(std::uint32_t seconds);

// The logic of the main form: its buttons drive the player, its labels, slider and progress
// bar show what the player and the file operations report. It runs on the window's thread
// and is the host of every file operation started from the form.
class MainForm final : public SaveToMp3Host {
 public:
  // The player is made with `makeSlots` at the first initial update and reports to `window`.
  MainForm(FormWidgets& widgets, FormDialogs& dialogs, NotificationSink& window, EngineSlotsFactory makeSlots);
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;
  // Ends the engine thread and waits for it.
  ~MainForm() override;

  // Runs when the form is first shown and whenever the document is made anew.
  void OnInitialUpdate();

  void OnOpenMp3File();
  void OnPlay();
  void OnPause();
  void OnStop();
  void OnDecodeToWav();
  void OnIncreaseVolume();
  void OnDecreaseVolume();
  // Every scroll notification of the slider, whatever its kind.
  void OnHScroll();

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

  // The host of the file operations.
  std::optional<std::string> chooseInputFile(const FileDialogRequest& dialog) override;
  std::optional<std::string> chooseOutputFile(const FileDialogRequest& dialog) override;
  bool askVolumeMultiple() override;
  bool askCutTimes() override;
  void showMessage(std::string_view text) override;
  void showRefusal(std::string_view text) override;
  void setProgress(std::int32_t position) override;
  void encodeProgress(int percent) override { OnEncodeProgress(percent); }

 private:
  void setPlaybackButtons(bool enabled);
  void endOfStream();

  FormWidgets& widgets_;
  FormDialogs& dialogs_;
  NotificationSink& window_;
  EngineSlotsFactory makeSlots_;
  std::unique_ptr<Player> currentPlayer;
};

}  // namespace tunekiln
