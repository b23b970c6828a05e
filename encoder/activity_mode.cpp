#include "encoder/activity_mode.h"

namespace tunekiln {

std::int32_t activityMode = MODE_NONE;

}  // namespace tunekiln
