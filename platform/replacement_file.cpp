#include "platform/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <random>

namespace tunekiln {
namespace {

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
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
  return std::nullopt;  // a loop of links
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
    if (written == 0) return false;
    bytes += written;
    offset += static_cast<std::uint64_t>(written);
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

std::optional<ReplacementFile> ReplacementFile::create(const std::string& destination) {
  if (destination.empty()) return std::nullopt;
  const auto target = resolve_links(destination);
  if (!target) return std::nullopt;

  struct stat existing {};
  const bool exists = ::stat(target->c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return std::nullopt;

  std::random_device entropy;
  const std::string stem = directory_of(*target) + "/." + name_of(*target) + ".tmp-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = stem + std::to_string(entropy() % 1000000000u);
    // 0666 lets the umask decide a new file's permissions, as for any file a program creates.
    UniqueFd fd(::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    if (exists) {
      ::fchmod(fd.get(), existing.st_mode & 07777);
      // Only possible with privileges; an ordinary user's file already has the user as owner.
      [[maybe_unused]] const int ignored = ::fchown(fd.get(), existing.st_uid, existing.st_gid);
    }
    return ReplacementFile(std::move(fd), std::move(candidate), *target);
  }
  return std::nullopt;
}

ReplacementFile::ReplacementFile(UniqueFd fd, std::string temporaryPath, std::string destination)
    : fd_(std::move(fd)), temporaryPath_(std::move(temporaryPath)), destination_(std::move(destination)) {}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      temporaryPath_(std::move(other.temporaryPath_)),
      destination_(std::move(other.destination_)),
      appended_(other.appended_),
      settled_(std::exchange(other.settled_, true)) {}

ReplacementFile& ReplacementFile::operator=(ReplacementFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::move(other.fd_);
    temporaryPath_ = std::move(other.temporaryPath_);
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
  fd_.reset();
  ::unlink(temporaryPath_.c_str());
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
  // A failing close can carry a write error the file system reported late.
  if (!fd_.reset() || ::rename(temporaryPath_.c_str(), destination_.c_str()) != 0) {
    ::unlink(temporaryPath_.c_str());
    settled_ = true;
    return false;
  }
  settled_ = true;
  return true;
}

}  // namespace tunekiln
