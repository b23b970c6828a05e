#include "tests/sound/sound_fixture.h"

#include <cstdlib>

#include "engine/standard_slots.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {

void SoundTest::SetUp() {
  const char* skip = std::getenv("TUNEKILN_SKIP_SOUND_TESTS");
  if (skip != nullptr && std::string(skip) == "1") GTEST_SKIP() << "TUNEKILN_SKIP_SOUND_TESTS=1";
  // The tests change the default sink's volume: they run only against the private server.
  const auto sink = run_program({"/usr/bin/env", "pactl", "get-default-sink"});
  ASSERT_EQ(sink.out, "test_sink\n")
      << "no sound server with the default sink test_sink; run the tests under scripts/with-sound-server, or set "
         "TUNEKILN_SKIP_SOUND_TESTS=1 to skip them\n"
      << sink.err;
  setSinkVolume(65536);
  ASSERT_TRUE(recorder().waitForFrames(2 * kRate)) << "parec stopped";
}

SinkRecorder& SoundTest::recorder() {
  static SinkRecorder shared;  // lives until the program ends
  return shared;
}

std::uint32_t SoundTest::sinkVolume() {
  // "Volume: front-left: 65536 / 100% / 0.00 dB,   front-right: ..."
  const auto result = run_program({"/usr/bin/env", "pactl", "get-sink-volume", "test_sink"});
  const auto colon = result.out.find(": ", result.out.find("front-left"));
  if (result.status != 0 || colon == std::string::npos) throw std::runtime_error("pactl: " + result.err);
  return static_cast<std::uint32_t>(std::stoul(result.out.substr(colon + 2)));
}

void SoundTest::setSinkVolume(std::uint32_t value) {
  const auto result = run_program({"/usr/bin/env", "pactl", "set-sink-volume", "test_sink", std::to_string(value)});
  if (result.status != 0) throw std::runtime_error("pactl: " + result.err);
}

std::string SoundTest::writeWav(const std::string& name, const std::vector<std::int16_t>& interleaved) {
  const std::string path = dir.file(name);
  write_file(path, make_wav({}, little_endian_bytes(interleaved)));
  return path;
}

void SoundTest::startPlayer(SoundCardOutput::DeviceOpener openDevice, MasterVolumeOpener openMixer) {
  selectedOutput = 0;
  const auto makeSlots = [openDevice = std::move(openDevice)] {
    EngineSlots slots{.decoders = standard_decoders()};
    slots.outputs[0] = std::make_unique<SoundCardOutput>(openDevice);
    return slots;
  };
  player = player_create(notifications, makeSlots, openMixer);
}

bool SoundTest::waitForState(std::uint32_t state) {
  for (;;) {
    const auto notification = notifications.next();
    if (notification.number > PLAYER_NTF_READ_FAILED) failures_.push_back(notification.number);
    if (notification.number != PLAYER_NTF_STATE) continue;
    if (notification.first == state) return true;
    if (notification.first == PLAYER_STATE_STOPPED) return false;
  }
}

bool SoundTest::play(const std::string& file) {
  player_open(*player, file);
  player_play(*player);
  return waitForState(PLAYER_STATE_PLAYING);
}

std::vector<std::uint32_t> SoundTest::waitForFailures(std::size_t count) {
  while (failures_.size() < count) {
    const auto notification = notifications.next();
    if (notification.number > PLAYER_NTF_READ_FAILED) failures_.push_back(notification.number);
  }
  return failures_;
}

}  // namespace tunekiln::test
