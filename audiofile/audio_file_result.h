#pragma once

// How reading an audio file went. Each operation picks the text its user sees; the command line
// adds the reason line.
namespace tunekiln {

enum class AudioFileResult {
  ok,                   // the bytes or the header were read as asked
  endOfData,            // the input ended before the bytes asked for: a normal end, not a fault
  readFailed,           // the system reported an error reading the input (an I/O error)
  notThisFormat,        // the input is not a file of the kind the reader was asked for
  damaged,              // the header says it is that kind, but a chunk it needs is missing or cut short
  unsupportedEncoding,  // a well-formed file whose sample encoding is not read here (ADPCM, A-law, 12 bits...)
  unsupportedChannels,  // a well-formed file with a channel count the operation cannot take
};

}  // namespace tunekiln
