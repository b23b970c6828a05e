#include "shell/player_retirement.h"

#include <mutex>
#include <thread>
#include <vector>

namespace tunekiln {
namespace {

class RetiredPlayers {
 public:
  // A window destroyed during the toolkit's own clean-up, after the program's exit step, still
  // has its player ended before the process goes.
  ~RetiredPlayers() { waitForAll(); }

  void add(std::thread thread) {
    std::lock_guard lock(mutex_);
    threads_.push_back(std::move(thread));
  }

  void waitForAll() {
    std::vector<std::thread> ending;
    {
      std::lock_guard lock(mutex_);
      ending.swap(threads_);
    }
    for (std::thread& thread : ending) thread.join();
  }

 private:
  std::mutex mutex_;
  std::vector<std::thread> threads_;
};

RetiredPlayers& retired() {
  static RetiredPlayers players;
  return players;
}

}  // namespace

void retire_player(std::unique_ptr<Player> player, std::shared_ptr<void> keepAlive) {
  if (!player) return;
  retired().add(std::thread([player = std::move(player), keepAlive = std::move(keepAlive)]() mutable {
    player.reset();  // before what it reports to
    keepAlive.reset();
  }));
}

void wait_for_retired_players() { retired().waitForAll(); }

}  // namespace tunekiln
