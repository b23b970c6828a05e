#pragma once

#include <string_view>

// The controls of the main form by the names its resource (form.xrc) gives them.
namespace tunekiln::form_ids {

inline constexpr std::string_view kSlider = "slider";
inline constexpr std::string_view kOpenMp3File = "open_mp3_file";
inline constexpr std::string_view kPlay = "play";
inline constexpr std::string_view kPause = "pause";
inline constexpr std::string_view kStop = "stop";
inline constexpr std::string_view kIncreaseVolume = "increase_volume";
inline constexpr std::string_view kDecreaseVolume = "decrease_volume";
inline constexpr std::string_view kDecodeToWav = "decode_to_wav";
inline constexpr std::string_view kProgress = "progress";
inline constexpr std::string_view kAbstractLeftChannel = "abstract_left_channel";
inline constexpr std::string_view kAbstractRightChannel = "abstract_right_channel";
inline constexpr std::string_view kClearHumanVoice = "clear_human_voice";
inline constexpr std::string_view kChangeSourceVolume = "change_source_volume";
inline constexpr std::string_view kCutSourceFile = "cut_source_file";
inline constexpr std::string_view kSaveToMp3File = "save_to_mp3_file";
inline constexpr std::string_view kReplayGain = "replay_gain";
inline constexpr std::string_view kFileName = "file_name";
inline constexpr std::string_view kPlayTime = "play_time";
inline constexpr std::string_view kTotalTime = "total_time";
inline constexpr std::string_view kWaveform = "waveform";
// Group boxes and captions, which only the narrow layout moves.
inline constexpr std::string_view kPlayGroup = "play_group";
inline constexpr std::string_view kProcessGroup = "process_group";
inline constexpr std::string_view kFileNameCaption = "file_name_caption";
inline constexpr std::string_view kPlayTimeCaption = "play_time_caption";
inline constexpr std::string_view kProgressCaption = "progress_caption";

}  // namespace tunekiln::form_ids
