#include "platform/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

namespace tunekiln {

void make_standard_descriptors_valid() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0) continue;
    // open gives the lowest free descriptor, which is this one: the lower ones are valid.
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
}

}  // namespace tunekiln
