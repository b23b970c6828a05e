#pragma once

namespace tunekiln {

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that no file the program
// opens can take their place and receive its messages. Called first in main.
void make_standard_descriptors_valid();

}  // namespace tunekiln
