// The files the program reads and writes: which it opens, how it recognises one file under two
// names, and how it replaces a file.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/input_file.h"
#include "platform/replacement_file.h"
#include "tests/support/temp_dir.h"

namespace tunekiln::test {
namespace {

TEST(InputFile, OpensOnlyRegularFilesAndKnowsThemUnderEverySpelling) {
  TempDir dir;
  for (const auto& refused : {dir.path().string(), dir.file("missing"), std::string("/dev/zero")}) EXPECT_FALSE(InputFile::open(refused));
  const std::string in = dir.file("in.wav");
  write_file(in, {1});
  std::filesystem::create_symlink(in, dir.file("link.wav"));
  std::filesystem::create_hard_link(in, dir.file("hard.wav"));
  for (const auto& same : {in, dir.file("link.wav"), dir.file("hard.wav")}) EXPECT_TRUE(is_same_file(in, same)) << same;
  for (const auto& other : {dir.path().string(), dir.file("missing.wav")}) EXPECT_FALSE(is_same_file(in, other)) << other;
}

TEST(ReplacementFile, ReplacesOnlyWhenCommittedThroughALinkKeepingPermissions) {
  TempDir dir;
  const std::string destination = dir.file("out.wav"), link = dir.file("link.wav");
  const Bytes kNew{'n', 'e', 'w'};
  write_file(destination, {'o', 'l', 'd'});
  std::filesystem::permissions(destination, std::filesystem::perms{0600});
  std::filesystem::create_symlink("out.wav", link);
  {
    auto abandoned = ReplacementFile::create(link);
    ASSERT_TRUE(abandoned && abandoned->append(kNew.data(), kNew.size()));
  }
  auto file = ReplacementFile::create(link);
  ASSERT_TRUE(file && file->append(kNew.data(), kNew.size()) && file->writeAt(0, "N", 1));
  EXPECT_EQ(read_file(destination), (Bytes{'o', 'l', 'd'})) << "the old file stays until the new one is complete";
  ASSERT_TRUE(file->commit());
  EXPECT_EQ(read_file(destination), (Bytes{'N', 'e', 'w'}));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::status(destination).permissions(), std::filesystem::perms{0600});
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.wav", "out.wav"})) << "nothing else is left";
  std::filesystem::create_directory(dir.file("folder"));
  for (const auto& refused : {dir.file("folder"), dir.file("no-such-folder/out.wav"), std::string("/dev/null")}) {
    EXPECT_FALSE(ReplacementFile::create(refused)) << refused;
  }
}

}  // namespace
}  // namespace tunekiln::test
