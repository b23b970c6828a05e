#include "fuzz/scratch_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace tunekiln::fuzz {
namespace {

std::string make_folder() {
  const std::string base =
      std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
  std::string pattern = base + "/tunekiln-fuzz-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("tunekiln fuzz: no scratch folder");
    std::abort();
  }
  return pattern;
}

void remove_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_folder(), ignored);
}

}  // namespace

const std::string& scratch_folder() {
  static const std::string folder = make_folder();
  // Registered once the folder's name exists, so it runs before that name is destroyed.
  static const bool removedAtExit = std::atexit(remove_folder) == 0;
  (void)removedAtExit;
  return folder;
}

void write_whole_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const bool written = file != nullptr && std::fwrite(data, 1, size, file) == size;
  if (file == nullptr || std::fclose(file) != 0 || !written) {
    std::perror("tunekiln fuzz: cannot write the input file");
    std::abort();
  }
}

std::size_t scratch_entry_count() {
  const std::filesystem::directory_iterator entries(scratch_folder());
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

}  // namespace tunekiln::fuzz
