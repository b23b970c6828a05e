#include "platform/replacement_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace tunekiln {
namespace {

using test::Bytes;
using test::read_file;
using test::TempDir;
using test::write_file;

const Bytes kOld{'o', 'l', 'd'};
const Bytes kNew{'n', 'e', 'w', '!'};

mode_t permissions(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0);
  return status.st_mode & 07777;
}

TEST(ReplacementFile, CommitPutsTheCompleteFileInPlace) {
  TempDir dir;
  const auto destination = dir.file("out.wav");
  write_file(destination, kOld);
  auto file = ReplacementFile::create(destination);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->append(kNew.data(), kNew.size()));
  EXPECT_EQ(read_file(destination), kOld) << "the old file stays until the new one is complete";
  ASSERT_TRUE(file->commit());
  EXPECT_EQ(read_file(destination), kNew);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
}

TEST(ReplacementFile, AbandonedFileLeavesNothingBehind) {
  TempDir dir;
  const auto destination = dir.file("out.wav");
  write_file(destination, kOld);
  {
    auto file = ReplacementFile::create(destination);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->append(kNew.data(), kNew.size()));
  }
  EXPECT_EQ(read_file(destination), kOld);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});

  { ASSERT_TRUE(ReplacementFile::create(dir.file("new.wav"))); }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
}

TEST(ReplacementFile, WriteAtPatchesWithoutMovingTheEnd) {
  TempDir dir;
  auto file = ReplacementFile::create(dir.file("out.wav"));
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->append(kNew.data(), kNew.size()));
  ASSERT_TRUE(file->writeAt(0, "N", 1));
  ASSERT_TRUE(file->append("?", 1));
  EXPECT_EQ(file->appendedBytes(), 5u);
  ASSERT_TRUE(file->commit());
  EXPECT_EQ(read_file(dir.file("out.wav")), (Bytes{'N', 'e', 'w', '!', '?'}));
}

TEST(ReplacementFile, NewFileFollowsTheUmaskAndReplacedFileKeepsItsPermissions) {
  TempDir dir;
  const mode_t previous = ::umask(022);
  auto created = ReplacementFile::create(dir.file("new.wav"));
  ::umask(previous);
  ASSERT_TRUE(created && created->commit());
  EXPECT_EQ(permissions(dir.file("new.wav")), 0644u);

  const auto existing = dir.file("existing.wav");
  write_file(existing, kOld);
  ::chmod(existing.c_str(), 0600);
  auto replaced = ReplacementFile::create(existing);
  ASSERT_TRUE(replaced && replaced->commit());
  EXPECT_EQ(permissions(existing), 0600u);
}

TEST(ReplacementFile, SymbolicLinkStaysAndItsTargetIsReplaced) {
  TempDir dir;
  write_file(dir.file("target.wav"), kOld);
  std::filesystem::create_symlink("target.wav", dir.file("link.wav"));
  auto file = ReplacementFile::create(dir.file("link.wav"));
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->append(kNew.data(), kNew.size()));
  ASSERT_TRUE(file->commit());
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.wav")));
  EXPECT_EQ(read_file(dir.file("target.wav")), kNew);

  std::filesystem::create_symlink("missing.wav", dir.file("dangling.wav"));
  auto throughDangling = ReplacementFile::create(dir.file("dangling.wav"));
  ASSERT_TRUE(throughDangling && throughDangling->commit());
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("missing.wav")));
}

TEST(ReplacementFile, RefusesWhatCannotBeReplacedByAFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("folder"));
  EXPECT_FALSE(ReplacementFile::create(dir.file("folder")));
  EXPECT_FALSE(ReplacementFile::create(dir.file("no-such-folder/out.wav")));
  EXPECT_FALSE(ReplacementFile::create(""));
  EXPECT_FALSE(ReplacementFile::create("/dev/null"));
}

}  // namespace
}  // namespace tunekiln
