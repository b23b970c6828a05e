#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/replacement_file.h"

namespace tunekiln {

// The MP3 being written: a stdio stream, readable and seekable as the LAME Tag writer needs,
// on a temporary file that takes the chosen path only when committed. Dropped uncommitted,
// it leaves nothing behind and a file that stood at the path unchanged.
class Mp3Output {
 public:
  // Nothing when no file can be made for the path (a missing folder, a folder as the path).
  static std::optional<Mp3Output> open(const std::string& path);

  std::FILE* stream() const { return stream_.get(); }
  // Writes out what the stream still holds and closes it; false when any write has failed.
  bool closeStream();
  // Puts the closed file in place; false when that fails (nothing is left then).
  bool commit();

 private:
  struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
  };
  Mp3Output(ReplacementFile file, std::FILE* stream) : file_(std::move(file)), stream_(stream) {}

  ReplacementFile file_;
  std::unique_ptr<std::FILE, StreamCloser> stream_;
};

}  // namespace tunekiln
