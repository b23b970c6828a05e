#include "platform/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <mutex>
#include <random>
#include <vector>

namespace tunekiln {
namespace {

// Named temporary files that exist now, so that a process ended by a signal can remove them,
// and the lock that makes a commit whole or absent for such an ending.
std::mutex& pending_lock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::string>& pending_names() {
  static std::vector<std::string> names;
  return names;
}

void forget_pending(const std::string& name) {
  auto& names = pending_names();
  names.erase(std::remove(names.begin(), names.end(), name), names.end());
}

// Keeps errno across clean-up calls, so that the caller still sees why the first call failed.
class ErrnoKeeper {
 public:
  ~ErrnoKeeper() { errno = saved_; }

 private:
  int saved_ = errno;
};

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Short, so that a destination name as long as the file system allows still has room beside it.
std::string temporary_name(const std::string& directory) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device entropy;
  std::string name = directory + "/.tunekiln-";
  for (int i = 0; i < 8; ++i) name.push_back(kLetters[entropy() % (sizeof kLetters - 1)]);
  return name;
}

// Follows symbolic links, also dangling ones, to the path that will really be written.
std::optional<std::string> resolve_links(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size() - 1);
    if (length < 0) return std::nullopt;
    std::string next(target.data(), static_cast<std::size_t>(length));
    path = (next.front() == '/') ? next : directory_of(path) + "/" + next;
  }
  errno = ELOOP;
  return std::nullopt;
}

// A file without a name in `directory`, which nothing, not even SIGKILL, can leave behind.
// Invalid where the file system cannot make one (errno then says why).
UniqueFd open_unnamed(const std::string& directory) {
  // Without the privilege of linking a descriptor directly, the name is given through /proc.
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  if (!linkable) {
    errno = EOPNOTSUPP;
    return UniqueFd();
  }
  return UniqueFd(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
}

// Errors that mean "no unnamed files here" rather than a fault of the folder.
bool unnamed_files_unsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// Gives the unnamed file `fd` the name `path`.
bool link_unnamed(int fd, const std::string& path) {
  if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
  // Without the privilege AT_EMPTY_PATH needs, the descriptor's link in /proc does the same.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace

bool write_all_at(int fd, std::uint64_t offset, const void* data, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (count > 0) {
    const ssize_t written = ::pwrite(fd, bytes, count, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    bytes += written;
    offset += static_cast<std::uint64_t>(written);
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

void remove_unfinished_files_for_good() {
  pending_lock().lock();  // never unlocked: no commit may follow
  for (const auto& name : pending_names()) ::unlink(name.c_str());
}

std::optional<ReplacementFile> ReplacementFile::create(const std::string& destination) {
  if (destination.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  const auto target = resolve_links(destination);
  if (!target) return std::nullopt;

  struct stat existing {};
  const bool exists = ::stat(target->c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    errno = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
    return std::nullopt;
  }
  // A file the user may not write is not replaced either, though the folder would allow it.
  if (exists && ::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) return std::nullopt;

  const std::string directory = directory_of(*target);
  UniqueFd fd = open_unnamed(directory);
  std::string named;
  if (!fd.valid()) {
    if (!unnamed_files_unsupported(errno)) return std::nullopt;
    const std::lock_guard lock(pending_lock());
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
      named = temporary_name(directory);
      // 0666 lets the umask decide a new file's permissions, as for any file a program creates.
      fd = UniqueFd(::open(named.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (!fd.valid() && errno != EEXIST) return std::nullopt;
    }
    if (!fd.valid()) return std::nullopt;
    pending_names().push_back(named);
  }
  if (exists) {
    ::fchmod(fd.get(), existing.st_mode & 07777);
    // Only possible with privileges; an ordinary user's file already has the user as owner.
    [[maybe_unused]] const int ignored = ::fchown(fd.get(), existing.st_uid, existing.st_gid);
  }
  return ReplacementFile(std::move(fd), std::move(named), *target);
}

ReplacementFile::ReplacementFile(UniqueFd fd, std::string namedTemporary, std::string destination)
    : fd_(std::move(fd)), namedTemporary_(std::move(namedTemporary)), destination_(std::move(destination)) {}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      namedTemporary_(std::move(other.namedTemporary_)),
      destination_(std::move(other.destination_)),
      appended_(other.appended_),
      settled_(std::exchange(other.settled_, true)) {}

ReplacementFile& ReplacementFile::operator=(ReplacementFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::move(other.fd_);
    namedTemporary_ = std::move(other.namedTemporary_);
    destination_ = std::move(other.destination_);
    appended_ = other.appended_;
    settled_ = std::exchange(other.settled_, true);
  }
  return *this;
}

ReplacementFile::~ReplacementFile() { discard(); }

void ReplacementFile::discard() {
  if (settled_) return;
  settled_ = true;
  const ErrnoKeeper keeper;
  fd_.reset();
  if (namedTemporary_.empty()) return;
  const std::lock_guard lock(pending_lock());
  ::unlink(namedTemporary_.c_str());
  forget_pending(namedTemporary_);
}

bool ReplacementFile::append(const void* data, std::size_t count) {
  if (!write_all_at(fd_.get(), appended_, data, count)) return false;
  appended_ += count;
  return true;
}

bool ReplacementFile::writeAt(std::uint64_t offset, const void* data, std::size_t count) {
  return write_all_at(fd_.get(), offset, data, count);
}

bool ReplacementFile::commit() {
  if (settled_) return false;
  settled_ = true;
  // A signal that ends the process waits for this lock: the destination is then either
  // untouched or complete, and no named temporary file is left.
  const std::lock_guard lock(pending_lock());
  if (namedTemporary_.empty()) {
    for (int attempt = 0; attempt < 100 && namedTemporary_.empty(); ++attempt) {
      auto name = temporary_name(directory_of(destination_));
      if (link_unnamed(fd_.get(), name)) {
        namedTemporary_ = std::move(name);
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (namedTemporary_.empty()) {
      const ErrnoKeeper keeper;
      fd_.reset();
      return false;
    }
    pending_names().push_back(namedTemporary_);
  }
  // A failing close can carry a write error the file system reported late.
  const bool placed = fd_.reset() && ::rename(namedTemporary_.c_str(), destination_.c_str()) == 0;
  if (!placed) {
    const ErrnoKeeper keeper;
    ::unlink(namedTemporary_.c_str());
  }
  forget_pending(namedTemporary_);
  return placed;
}

}  // namespace tunekiln
