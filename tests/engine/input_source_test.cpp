// The MP3 decoder's view of a file.
#include "engine/input_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {
namespace {

TEST(InputSource, ReadsSeeksAndEndsLikeAFile) {
  TempDir dir;
  const std::string path = dir.file("data.bin");
  write_file(path, {1, 2, 3, 4, 5});
  // Another program is still writing it.
  const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(writer, 0);

  auto source = input_open(path);
  ASSERT_TRUE(source);
  EXPECT_TRUE(source->canSeek());
  EXPECT_EQ(source->size(), 5u);
  std::uint8_t buffer[8] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(source->read(buffer, 3, got));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(source->tell(), 3u);
  ASSERT_TRUE(source->read(buffer, 8, got));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(buffer[1], 5);
  ASSERT_TRUE(source->read(buffer, 8, got)) << "the end is no failure";
  EXPECT_EQ(got, 0u);

  ASSERT_EQ(::write(writer, "\x06", 1), 1);
  EXPECT_EQ(source->size(), 6u) << "it sees the file grow";
  source->seekTo(100);
  ASSERT_TRUE(source->read(buffer, 8, got));
  EXPECT_EQ(got, 0u);
  source->seekTo(4);
  ASSERT_TRUE(source->read(buffer, 8, got));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(buffer[1], 6);
  ::close(writer);

  EXPECT_FALSE(input_open(dir.file("missing.mp3")));
  EXPECT_FALSE(input_open(dir.path().string())) << "a folder is no file";
  EXPECT_FALSE(input_open("http://example.org/a.mp3"));
}

}  // namespace
}  // namespace tunekiln::test
