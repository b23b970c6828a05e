#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace tunekiln {

// An output written to a temporary file beside its destination and moved onto it only when
// complete, so that a failed or cancelled write leaves whatever stood there before untouched.
// The temporary file has no name until the commit where the file system allows that, so not
// even a killed process leaves it behind. When the destination is a symbolic link, the file it
// points to is the one replaced. A new file gets 0666 less the umask; a file that is replaced
// keeps its permissions. Every failure leaves errno saying why.
class ReplacementFile {
 public:
  // Nothing when no temporary file can be made beside the destination, or when the
  // destination exists and is not a regular file or not one the user may write.
  static std::optional<ReplacementFile> create(const std::string& destination);

  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&& other) noexcept;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Removes the temporary file unless it was committed.
  ~ReplacementFile();

  // Open for reading and writing; position and size are the caller's.
  int fd() const { return fd_.get(); }

  // Appends at the end of what was appended so far; false when the write failed (a full disk).
  bool append(const void* data, std::size_t count);
  // Writes at an absolute offset without moving the append position.
  bool writeAt(std::uint64_t offset, const void* data, std::size_t count);
  std::uint64_t appendedBytes() const { return appended_; }

  // Closes the file and moves it onto the destination. False when that fails; the temporary
  // file is then removed and the destination left as it was.
  bool commit();

 private:
  ReplacementFile(UniqueFd fd, std::string namedTemporary, std::string destination);
  void discard();

  UniqueFd fd_;
  std::string namedTemporary_;  // empty while the file has no name
  std::string destination_;
  std::uint64_t appended_ = 0;
  bool settled_ = false;  // committed, or given up: the destructor has nothing to remove
};

// For a process about to end by a signal: removes every named temporary file and keeps any
// commit from happening after this. Commits run whole before it or not at all.
void remove_unfinished_files_for_good();

// Writes all of `data` at `offset`, retrying short writes; false on a write error.
bool write_all_at(int fd, std::uint64_t offset, const void* data, std::size_t count);

}  // namespace tunekiln
