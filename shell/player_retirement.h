#pragma once

#include <memory>

#include "engine/player.h"

namespace tunekiln {

// A closed window's player ends here, on a thread of its own, so that the window goes at once
// while the engine lets the last sound out; `keepAlive` holds what the engine still reports to.
void retire_player(std::unique_ptr<Player> player, std::shared_ptr<void> keepAlive);
// Waits for every retired player to have ended; at the program's exit.
void wait_for_retired_players();

}  // namespace tunekiln
