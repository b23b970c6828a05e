#include "platform/file_dialog_request.h"

#include <gtest/gtest.h>

namespace tunekiln {
namespace {

TEST(FileDialogRequest, NameWithoutExtensionGetsTheFirstThreeCharactersOfTheDefault) {
  EXPECT_EQ(with_default_extension("/music/out", kWavFileDialog), "/music/out.Wav");
  EXPECT_EQ(with_default_extension("/music/out.wav", kWavFileDialog), "/music/out.wav");
  EXPECT_EQ(with_default_extension("/music/out.mp3", kWavFileDialog), "/music/out.mp3");
  EXPECT_EQ(with_default_extension("/my.music/out", kWavFileDialog), "/my.music/out.Wav") << "a point in a folder name";
  EXPECT_EQ(with_default_extension("song", {"MP3 File(*.mp3)|*.mp3", ""}), "song.MP3");
  EXPECT_EQ(with_default_extension("song", {"", "All Files (*.*)|*.*"}), "song");
}

}  // namespace
}  // namespace tunekiln
