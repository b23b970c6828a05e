#include "platform/input_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace tunekiln {
namespace {

using test::TempDir;
using test::write_file;

TEST(InputFile, ReadsAtOffsetsAndReportsTheEnd) {
  TempDir dir;
  write_file(dir.file("in"), {1, 2, 3, 4, 5});
  auto file = InputFile::open(dir.file("in"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->size(), 5u);
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(file->readAt(3, buffer, sizeof buffer), 2);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(file->readAt(5, buffer, sizeof buffer), 0);
  EXPECT_EQ(file->readAt(100, buffer, sizeof buffer), 0);
}

TEST(InputFile, OpensOnlyRegularFiles) {
  TempDir dir;
  EXPECT_FALSE(InputFile::open(dir.path().string()));
  EXPECT_FALSE(InputFile::open(dir.file("missing")));
  EXPECT_FALSE(InputFile::open("/dev/zero"));
}

TEST(SameFile, RecognisesOneFileUnderEverySpelling) {
  TempDir dir;
  write_file(dir.file("in.wav"), {1});
  write_file(dir.file("other.wav"), {1});
  std::filesystem::create_symlink(dir.file("in.wav"), dir.file("link.wav"));
  std::filesystem::create_hard_link(dir.file("in.wav"), dir.file("hard.wav"));
  auto file = InputFile::open(dir.file("in.wav"));
  ASSERT_TRUE(file);
  EXPECT_TRUE(is_same_file(file->fd(), dir.file("in.wav")));
  EXPECT_TRUE(is_same_file(file->fd(), dir.path().string() + "/../" + dir.path().filename().string() + "/in.wav"));
  EXPECT_TRUE(is_same_file(file->fd(), dir.file("link.wav")));
  EXPECT_TRUE(is_same_file(file->fd(), dir.file("hard.wav")));
  EXPECT_FALSE(is_same_file(file->fd(), dir.file("other.wav")));
  EXPECT_FALSE(is_same_file(file->fd(), dir.file("missing.wav")));
}

}  // namespace
}  // namespace tunekiln
