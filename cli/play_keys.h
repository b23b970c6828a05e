#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tunekiln {

// What a key pressed while `play` runs asks for.
enum class PlayKey {
  pauseOrResume,  // space
  back,           // left arrow: 5 % back
  forward,        // right arrow: 5 % forward
  quit,           // q
  interrupt,      // Ctrl-C, which the terminal does not turn into a signal while keys are read
};

// Turns the bytes a terminal sends into keys; an arrow's escape sequence may arrive split over
// several reads. Other keys are ignored.
class PlayKeyDecoder {
 public:
  std::vector<PlayKey> decode(const std::uint8_t* bytes, std::size_t count);

 private:
  // How far into "ESC [ C" (or "ESC O C", the form in application cursor mode) the input is.
  int escapeProgress_ = 0;
};

// Where a seek of one arrow key lands, in thousandths of the stream, from `perMille`.
std::uint32_t seek_target(std::uint32_t perMille, PlayKey arrow);

}  // namespace tunekiln
