#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "engine/output.h"
#include "engine/wav_writer_host.h"
#include "platform/replacement_file.h"

namespace tunekiln {

// When the writer's output outgrows the classic header's 32-bit sizes.
struct WavSizeLimits {
  // A stream whose estimated data bytes (length × byte rate) pass this gets a JUNK chunk at the
  // start, which becomes the `ds64` chunk of an RF64 file if the data outgrows `riffLimit`.
  std::uint64_t reserveAbove = std::uint64_t{1} << 31;
  // The largest RIFF size a classic header states; a stream without the reserved chunk that
  // would pass it fails to write instead.
  std::uint64_t riffLimit = 0xFFFFFFFF;
};

// The output that writes the stream into a WAV file, as fast as the decoder goes. The
// destination is asked for at the first pump. The file is written beside it and put in its
// place only when the stream has been written to its end; a decoding that is stopped, that
// cannot be written or whose input cannot be read leaves the destination as it was.
class WavFileWriter final : public Output {
 public:
  explicit WavFileWriter(WavWriterHost& host, WavSizeLimits limits = {});

  void open(const StreamInfo& info) override;
  void close() override;
  void pump() override;
  void pause(bool paused) override;
  bool isDone() override { return true; }  // nothing is ever queued
  void reset() override {}
  void setVolume(int) override {}

 private:
  static constexpr std::size_t kBlockBytes = 262144;

  // Asks for the destination until a file opens there; false when the user cancels.
  bool openDestination();
  bool writeHeader(const StreamInfo& info);
  // Puts the complete file in place, with the sizes of what was really written.
  void finishFile();
  // The RIFF size of the file with the data written so far and `more` bytes.
  std::uint64_t riffSize(std::uint64_t more = 0) const { return headerBytes_ - 8 + dataBytes_ + more; }
  // Turns the file into RF64: the reserved chunk becomes `ds64`, the 32-bit sizes defer to it.
  bool writeRf64Sizes();
  // Gives the file up and reports it with `error`, the errno of the call that failed.
  void failWrite(int error);
  void signalUnlessPaused();

  WavWriterHost& host_;
  WavSizeLimits limits_;
  std::optional<ReplacementFile> file_;
  std::uint32_t headerBytes_ = 0;  // 46, or 82 with the reserved chunk
  std::uint32_t blockAlign_ = 0;
  std::uint64_t dataBytes_ = 0;
  bool paused_ = false;
  std::array<std::uint8_t, kBlockBytes> block_;
};

}  // namespace tunekiln
