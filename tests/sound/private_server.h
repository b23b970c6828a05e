#pragma once

#include <string>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// A PulseAudio server of the test's own, set up as scripts/with-sound-server sets up the
// shared one, so that a test can make it go away.
class PrivateSoundServer {
 public:
  PrivateSoundServer();
  PrivateSoundServer(const PrivateSoundServer&) = delete;
  PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;
  ~PrivateSoundServer();

  // Where clients find it, as PULSE_SERVER would name it.
  const std::string& address() const { return address_; }
  // Ends the server at once, as a crash would.
  void kill();

 private:
  TempDir dir_;
  std::string address_;
  int pid_ = -1;
};

}  // namespace tunekiln::test
