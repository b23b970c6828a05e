#pragma once

// The controls of the main form by number, as its resource names them.
namespace tunekiln::form_ids {

inline constexpr int kSlider = 1000;
inline constexpr int kOpenMp3File = 1001;
inline constexpr int kPlay = 1002;
inline constexpr int kPause = 1003;
inline constexpr int kStop = 1004;
inline constexpr int kIncreaseVolume = 1005;
inline constexpr int kDecreaseVolume = 1006;
inline constexpr int kDecodeToWav = 1007;
inline constexpr int kProgress = 1015;
inline constexpr int kAbstractLeftChannel = 1016;
inline constexpr int kAbstractRightChannel = 1017;
inline constexpr int kClearHumanVoice = 1018;
inline constexpr int kChangeSourceVolume = 1019;
inline constexpr int kCutSourceFile = 1020;
inline constexpr int kSaveToMp3File = 1023;
inline constexpr int kFileName = 1024;
inline constexpr int kPlayTime = 1025;
inline constexpr int kTotalTime = 1026;

}  // namespace tunekiln::form_ids
