#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace tunekiln {

std::optional<InputFile> InputFile::open(const std::string& path) {
  // Without blocking: opening a FIFO would otherwise wait for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return std::nullopt;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return std::nullopt;
  if (!S_ISREG(status.st_mode)) {
    errno = S_ISDIR(status.st_mode) ? EISDIR : ENODEV;
    return std::nullopt;
  }
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return InputFile(std::move(fd));
}

std::uint64_t InputFile::size() const {
  struct stat status {};
  if (::fstat(fd_.get(), &status) != 0) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

std::ptrdiff_t InputFile::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd_.get(), bytes + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::ptrdiff_t>(done);
}

bool is_same_file(const std::string& first, const std::string& second) {
  if (first == second) return true;
  struct stat one {}, other {};
  if (::stat(first.c_str(), &one) != 0 || ::stat(second.c_str(), &other) != 0) return false;
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

}  // namespace tunekiln
