#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "audiofile/file_identity.h"
#include "engine/stream_info.h"

namespace tunekiln {

// How a decoder's read ended, apart from the bytes it wrote.
enum class ReadResult {
  more,    // the stream goes on
  end,     // the stream has ended; bytes written by this call come before the end
  failed,  // the input could not be read: the stream ends here, short of its end
};

// A source of PCM for the engine. One instance serves every file it accepts, one at a time,
// and is used only on the engine thread.
class Decoder {
 public:
  // Releases the private state; happens once, when the engine ends.
  virtual ~Decoder() = default;

  // True when this decoder accepts the file, opened and identified once for every decoder, and
  // has opened it; a refusal leaves it closed.
  virtual bool open(const OpenedFile& file) = 0;
  // Why the last open refused a file of this decoder's kind, or the last read failed, for a
  // reason line; empty when the file was not of its kind or the decoder cannot tell.
  virtual std::string refusal() const { return {}; }
  // Releases the open file; harmless when nothing is open.
  virtual void close() = 0;
  // Moves to the fraction numerator/denominator of the stream.
  virtual void seek(std::uint32_t numerator, std::uint32_t denominator) = 0;
  virtual StreamInfo getInfo() = 0;
  // On entry `size` is the buffer's capacity in bytes; on return, the bytes of interleaved
  // little-endian PCM written in the format of getInfo().
  virtual ReadResult read(std::uint8_t* buffer, std::size_t& size) = 0;
  // Whole seconds of the stream handed out so far.
  virtual std::int32_t getPosition() = 0;
  // Called, on a thread of the decoder's own, when getInfo() has come to know a better length
  // after open; it may only signal or post. Decoders that know their length at open ignore it.
  virtual void setLengthListener(std::function<void()>) {}
  // The decoder as `info` names it; a decoder of several formats names the one it opened.
  virtual const char* name() const = 0;
  // Where getInfo()'s length comes from, for `info`: "header" for a decoder that reads it there.
  virtual const char* lengthSource() const { return "header"; }
  // Waits until getInfo()'s length is as exact as it will get.
  virtual void settleLength() {}
  // Dithers with states of its own from now on, for a reading beside the player's.
  virtual void ditherPrivately() {}
};

// The fraction of a stream a seek aims at, at most the whole stream; nothing for a zero
// denominator, which names no place.
inline std::optional<double> seek_fraction(std::uint32_t numerator, std::uint32_t denominator) {
  if (denominator == 0) return std::nullopt;
  const double fraction = static_cast<double>(numerator) / denominator;
  return fraction < 1.0 ? fraction : 1.0;
}

}  // namespace tunekiln
