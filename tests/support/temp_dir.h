#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tunekiln::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // The names of everything in the folder, sorted; shows files left behind.
  std::vector<std::string> entries() const;
  // Everything in the folder and below by relative name: a file's bytes, a link's "-> target",
  // nothing for a folder. Shows any file written, replaced or left behind.
  std::map<std::string, Bytes> contents() const;

 private:
  std::filesystem::path path_;
};

void write_file(const std::string& path, const Bytes& bytes);
Bytes read_file(const std::string& path);

}  // namespace tunekiln::test
