#pragma once

#include <cstdint>

#include "engine/player.h"
#include "platform/master_volume.h"

namespace tunekiln {

// The master volume behind the volume buttons, on a scale of 0..100: the server's value is
// level × 655, and a value read back is divided by 655. Called on the thread that created the
// player; each call waits for the sound server's answer.

// Opens the master volume into the player's `mixer`, letting go of one it had; when one opens,
// the engine is told to play at its full level (SET_VOLUME 100).
void mixer_setup(Player& player, const MasterVolumeOpener& openMixer);
// Without a mixer: the level last set through mixer_set_volume, 100 at first.
std::uint32_t mixer_get_volume(Player& player);
// Levels above 100 count as 100. Without a mixer the level goes to the engine's own volume
// through SET_VOLUME instead.
void mixer_set_volume(Player& player, std::uint32_t level);

}  // namespace tunekiln
