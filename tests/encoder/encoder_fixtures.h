#pragma once

#include <lame/lame.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoder/save_to_mp3_host.h"
#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// A stream whose text the test reads back.
class CapturedStream {
 public:
  CapturedStream() : stream_(std::tmpfile()) {}
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  ~CapturedStream() { std::fclose(stream_); }
  std::FILE* get() const { return stream_; }
  std::string text() const;

 private:
  std::FILE* stream_;
};

struct LameCloser {
  void operator()(lame_global_flags* encoder) const { lame_close(encoder); }
};
using LameContext = std::unique_ptr<lame_global_flags, LameCloser>;

// The header of a test AIFF or AIFC file; by default 16-bit stereo AIFF at 44100 Hz.
struct AiffShape {
  const char* formType = "AIFF";
  const char* compression = "NONE";  // AIFC only
  std::int16_t channels = 2;
  std::int16_t sampleSize = 16;
  double sampleRate = 44100;
  std::uint32_t blockSize = 0;
  bool soundBeforeCommon = false;
  std::optional<std::uint32_t> sampleFrames;  // default: what the samples hold
};
Bytes make_aiff(const AiffShape& shape, const Bytes& samples);
// The 80-bit extended form of a positive whole number, or of infinity.
Bytes ieee_extended(double value);

// `frames` frames of 16-bit little-endian sine tones, 440 Hz on the left, 660 Hz on the right.
Bytes tone16(int channels, int frames, int sampleRate = 44100);

// One MPEG audio frame header, as the test reads it.
struct Mp3Frame {
  std::size_t offset;
  int bitrateKbps;
  int sampleRate;
  int channelMode;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  std::size_t length;
};
// Every frame from the start of the file to its end; empty when a frame header is broken.
std::vector<Mp3Frame> mp3_frames(const Bytes& file);

// A user who picks both files and whose screen is a record.
class ScriptedSaveHost : public SaveToMp3Host {
 public:
  std::optional<std::string> input, output;  // nothing: the user cancels that dialog
  std::vector<std::string> dialogFilters, messages;
  std::vector<int> percents;

  std::optional<std::string> chooseInputFile(const FileDialogRequest& dialog) override {
    dialogFilters.emplace_back(dialog.filter);
    return input;
  }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest& dialog) override {
    dialogFilters.emplace_back(dialog.filter);
    return output;
  }
  bool askVolumeMultiple() override { return false; }  // Save to MP3 has no parameter dialog
  bool askCutTimes() override { return false; }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
  void setProgress(std::int32_t) override {}
  void encodeProgress(int percent) override { percents.push_back(percent); }
};

}  // namespace tunekiln::test
