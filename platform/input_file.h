#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace tunekiln {

// A regular file opened for reading at absolute offsets.
class InputFile {
 public:
  // Nothing when the path does not open or names something other than a regular file (a
  // folder, a device, a FIFO), which is refused at once; errno says why.
  static std::optional<InputFile> open(const std::string& path);

  int fd() const { return fd_.get(); }
  // The file's length now; it may shrink while the file is read.
  std::uint64_t size() const;
  // Reads up to `count` bytes at `offset`, retrying short reads. Returns the bytes read
  // (fewer only at the end of the file), or -1 on a read error.
  std::ptrdiff_t readAt(std::uint64_t offset, void* buffer, std::size_t count) const;

 private:
  explicit InputFile(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

// True when the two paths name one file: the same spelling, or a link, a hard link, a relative
// and an absolute path to it. An output that is its input must be refused before it is made.
bool is_same_file(const std::string& first, const std::string& second);

}  // namespace tunekiln
