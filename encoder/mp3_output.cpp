#include "encoder/mp3_output.h"

#include <fcntl.h>
#include <unistd.h>

namespace tunekiln {

std::optional<Mp3Output> Mp3Output::open(const std::string& path) {
  auto file = ReplacementFile::create(path);
  if (!file) return std::nullopt;
  // The stream gets a descriptor of its own; the temporary file's stays with the file.
  const int descriptor = ::fcntl(file->fd(), F_DUPFD_CLOEXEC, 0);
  if (descriptor < 0) return std::nullopt;
  std::FILE* stream = ::fdopen(descriptor, "w+b");
  if (stream == nullptr) {
    ::close(descriptor);
    return std::nullopt;
  }
  return Mp3Output(std::move(*file), stream);
}

bool Mp3Output::closeStream() {
  if (!stream_) return false;
  std::FILE* stream = stream_.release();
  // A failed write leaves the error flag behind even when later writes succeed.
  const bool written = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  return std::fclose(stream) == 0 && written;
}

bool Mp3Output::commit() { return file_.commit(); }

}  // namespace tunekiln
