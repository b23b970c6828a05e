#include "platform/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

namespace tunekiln {
namespace {

bool closedAtStart[STDERR_FILENO + 1] = {};

}  // namespace

void make_standard_descriptors_valid() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0) continue;
    closedAtStart[fd] = true;
    // open gives the lowest free descriptor, which is this one: the lower ones are valid.
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
}

bool standard_descriptor_was_closed(int fd) { return closedAtStart[fd]; }

}  // namespace tunekiln
