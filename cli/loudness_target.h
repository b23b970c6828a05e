#pragma once

#include <string>
#include <variant>
#include <vector>

#include "cli/reporting.h"
#include "wavproc/loudness.h"

// volume --to-lufs: measuring the inputs before the volume change writes them.
namespace tunekiln {

// The ceiling of the true peak unless one is given: the streaming services' usual limit.
inline constexpr double kDefaultCeilingDbtp = -1.0;

struct LoudnessTarget {
  double lufs = 0;
  double ceilingDbtp = kDefaultCeilingDbtp;
};

// Why a file's loudness cannot be brought to the target; the file is not written.
struct TargetRefusal {
  std::string message;
  FileFault fault;
};

// The gain that brings one WAV file to the target, from one pass over its samples.
std::variant<TargetGain, TargetRefusal> measure_target_gain(const std::string& path, const std::string& name,
                                                            const LoudnessTarget& target);

// One gain for every file of an album, from one pass over each; a file that cannot be measured
// refuses the whole album, whose gain would be wrong without it.
std::variant<TargetGain, TargetRefusal> measure_album_gain(const std::vector<std::string>& paths,
                                                           const LoudnessTarget& target);

// What is told on standard error before writing: the loudness found and the gain it gets.
std::string target_gain_note(const TargetGain& gain, const LoudnessTarget& target);

}  // namespace tunekiln
