#include "shell/player_retirement.h"

#include <mutex>
#include <thread>
#include <vector>

namespace tunekiln {
namespace {

std::mutex retiredMutex;
std::vector<std::thread> retired;

}  // namespace

void retire_player(std::unique_ptr<Player> player, std::shared_ptr<void> keepAlive) {
  if (!player) return;
  std::lock_guard lock(retiredMutex);
  retired.emplace_back([player = std::move(player), keepAlive = std::move(keepAlive)]() mutable {
    player.reset();  // before what it reports to
    keepAlive.reset();
  });
}

void wait_for_retired_players() {
  std::vector<std::thread> ending;
  {
    std::lock_guard lock(retiredMutex);
    ending.swap(retired);
  }
  for (std::thread& thread : ending) thread.join();
}

}  // namespace tunekiln
