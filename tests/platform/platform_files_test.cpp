// The files the program reads and writes: which it opens, how it recognises one file under two
// names, and how it replaces a file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/input_file.h"
#include "platform/replacement_file.h"
#include "tests/support/temp_dir.h"

namespace tunekiln::test {
namespace {

namespace fs = std::filesystem;

TEST(InputFile, RegularFilesOnlyUnderAnyName) {
  TempDir dir;
  // A folder and a missing file are refused in the command line's tests.
  EXPECT_FALSE(InputFile::open("/dev/zero"));
  const std::string in = dir.file("in.wav");
  write_file(in, {1});
  fs::create_symlink(in, dir.file("link.wav"));
  fs::create_hard_link(in, dir.file("hard.wav"));
  EXPECT_TRUE(is_same_file(in, dir.file("link.wav")) && is_same_file(in, dir.file("hard.wav")));
  for (const auto& other : {dir.file("."), dir.file("missing.wav")}) EXPECT_FALSE(is_same_file(in, other));
}

// Through a link the file it points to is replaced, or made where the link dangles, only at the
// commit; a new file gets 0666 less the umask, a replaced one keeps its permissions. Nothing
// else is left.
TEST(ReplacementFile, ReplacesAtCommitThroughLinks) {
  TempDir dir;
  write_file(dir.file("old.wav"), {'o', 'l', 'd'});
  fs::permissions(dir.file("old.wav"), fs::perms{0604});
  fs::create_symlink("old.wav", dir.file("link.wav"));
  fs::create_symlink("new.wav", dir.file("dangling.wav"));
  const auto before = dir.contents();
  const mode_t umask = ::umask(027);
  auto replaced = ReplacementFile::create(dir.file("link.wav"));
  auto made = ReplacementFile::create(dir.file("dangling.wav"));
  ::umask(umask);
  ASSERT_TRUE(replaced && made && replaced->append("New", 3) && made->append("New", 3));
  EXPECT_EQ(dir.contents(), before);
  ASSERT_TRUE(replaced->commit() && made->commit());
  const auto bytes = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
  const std::map<std::string, Bytes> after{{"dangling.wav", bytes("-> new.wav")}, {"new.wav", bytes("New")},
                                           {"link.wav", bytes("-> old.wav")}, {"old.wav", bytes("New")}};
  EXPECT_EQ(dir.contents(), after);
  for (const auto& [name, mode] : {std::pair{"old.wav", 0604}, {"new.wav", 0640}}) {
    EXPECT_EQ(fs::status(dir.file(name)).permissions(), fs::perms(mode)) << name;
  }
  fs::create_directory(dir.file("folder"));
  for (const auto& refused : {dir.file("folder"), std::string("/dev/null")}) {
    EXPECT_FALSE(ReplacementFile::create(refused)) << refused;
  }
}

}  // namespace
}  // namespace tunekiln::test
