// The files the program reads and writes: which it opens, how it recognises one file under two
// names, and how it replaces a file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/input_file.h"
#include "platform/replacement_file.h"
#include "tests/support/temp_dir.h"

namespace tunekiln::test {
namespace {

const Bytes kOld{'o', 'l', 'd'};
const Bytes kNew{'n', 'e', 'w', '!'};

mode_t permissions(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0);
  return status.st_mode & 07777;
}

TEST(InputFile, OpensOnlyRegularFilesAndKnowsThemUnderEverySpelling) {
  TempDir dir;
  EXPECT_FALSE(InputFile::open(dir.path().string()));
  EXPECT_FALSE(InputFile::open(dir.file("missing")));
  EXPECT_FALSE(InputFile::open("/dev/zero"));

  write_file(dir.file("in.wav"), {1});
  write_file(dir.file("other.wav"), {1});
  std::filesystem::create_symlink(dir.file("in.wav"), dir.file("link.wav"));
  std::filesystem::create_hard_link(dir.file("in.wav"), dir.file("hard.wav"));
  auto file = InputFile::open(dir.file("in.wav"));
  ASSERT_TRUE(file);
  for (const auto& same : {dir.file("in.wav"), dir.file("link.wav"), dir.file("hard.wav"),
                           dir.path().string() + "/../" + dir.path().filename().string() + "/./in.wav"}) {
    EXPECT_TRUE(is_same_file(file->fd(), same)) << same;
  }
  EXPECT_FALSE(is_same_file(file->fd(), dir.file("other.wav")));
  EXPECT_FALSE(is_same_file(file->fd(), dir.file("missing.wav")));
}

TEST(ReplacementFile, OnlyACommittedFileReplacesTheOldOneAndNothingElseIsLeft) {
  TempDir dir;
  const auto destination = dir.file("out.wav");
  write_file(destination, kOld);
  {
    auto abandoned = ReplacementFile::create(destination);
    ASSERT_TRUE(abandoned && abandoned->append(kNew.data(), kNew.size()));
  }
  EXPECT_EQ(read_file(destination), kOld);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});

  auto file = ReplacementFile::create(destination);
  ASSERT_TRUE(file && file->append(kNew.data(), kNew.size()));
  ASSERT_TRUE(file->writeAt(0, "N", 1));  // a header patched behind the samples
  ASSERT_TRUE(file->append("?", 1));
  EXPECT_EQ(read_file(destination), kOld) << "the old file stays until the new one is complete";
  ASSERT_TRUE(file->commit());
  EXPECT_EQ(read_file(destination), (Bytes{'N', 'e', 'w', '!', '?'}));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
}

TEST(ReplacementFile, PermissionsAndLinksAreThoseOfTheFileReplaced) {
  TempDir dir;
  const mode_t previous = ::umask(022);
  auto created = ReplacementFile::create(dir.file("new.wav"));
  ::umask(previous);
  ASSERT_TRUE(created && created->commit());
  EXPECT_EQ(permissions(dir.file("new.wav")), 0644u);
  ::chmod(dir.file("new.wav").c_str(), 0600);
  auto replaced = ReplacementFile::create(dir.file("new.wav"));
  ASSERT_TRUE(replaced && replaced->commit());
  EXPECT_EQ(permissions(dir.file("new.wav")), 0600u);

  std::filesystem::create_symlink("new.wav", dir.file("link.wav"));
  std::filesystem::create_symlink("missing.wav", dir.file("dangling.wav"));
  for (const char* link : {"link.wav", "dangling.wav"}) {
    auto file = ReplacementFile::create(dir.file(link));
    ASSERT_TRUE(file && file->append(kNew.data(), kNew.size()) && file->commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file(link)));
    EXPECT_EQ(read_file(dir.file(link)), kNew);
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("missing.wav")));

  std::filesystem::create_directory(dir.file("folder"));
  for (const auto& refused : {dir.file("folder"), dir.file("no-such-folder/out.wav"), std::string(), std::string("/dev/null")}) {
    EXPECT_FALSE(ReplacementFile::create(refused)) << refused;
  }
}

}  // namespace
}  // namespace tunekiln::test
