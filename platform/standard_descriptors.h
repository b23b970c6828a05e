#pragma once

namespace tunekiln {

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that no file the program
// opens can take their place and receive its messages. Called first in main.
void make_standard_descriptors_valid();

// True when descriptor `fd` (0, 1 or 2) was closed before make_standard_descriptors_valid: data
// meant for it would be lost, which messages may be but a result may not.
bool standard_descriptor_was_closed(int fd);

}  // namespace tunekiln
