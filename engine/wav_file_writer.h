#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "engine/output.h"
#include "engine/wav_writer_host.h"
#include "platform/replacement_file.h"

namespace tunekiln {

// The output that writes the stream into a WAV file, as fast as the decoder goes. The
// destination is asked for at the first pump. The file is written beside it and put in its
// place only when the stream has been written to its end; a decoding that is stopped, or that
// cannot be written, leaves the destination as it was.
class WavFileWriter final : public Output {
 public:
  explicit WavFileWriter(WavWriterHost& host);

  void open(const StreamInfo& info) override;
  void close() override;
  void pump() override;
  void pause(bool paused) override;
  bool isDone() override { return true; }  // nothing is ever queued
  void reset() override {}
  void setVolume(int) override {}

 private:
  static constexpr std::size_t kBlockBytes = 32768;

  // Asks for the destination until a file opens there; false when the user cancels.
  bool openDestination();
  bool writeHeader(const StreamInfo& info);
  // Puts the complete file in place, with the sizes of what was really written.
  void finishFile();
  // Gives the file up and tells the host.
  void failWrite();
  void signalUnlessPaused();

  WavWriterHost& host_;
  std::optional<ReplacementFile> file_;
  std::uint64_t dataBytes_ = 0;
  bool paused_ = false;
  std::array<std::uint8_t, kBlockBytes> block_;
};

}  // namespace tunekiln
