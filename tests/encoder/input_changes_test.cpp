// An input that is removed or cut short while a file operation reads it, from the moment the
// operation first reports progress (the decoding: asks for its destination).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "encoder/save_to_mp3.h"
#include "engine/wav_decoder.h"
#include "engine/wav_file_writer.h"
#include "tests/support/wav_builder.h"
#include "wavproc/wav_operations.h"

namespace tunekiln::test {
namespace {

class ChangingInputHost final : public SaveToMp3Host, public WavWriterHost {
 public:
  ChangingInputHost(std::string in, std::string out, std::function<void()> change)
      : in_(std::move(in)), out_(std::move(out)), change_(std::move(change)) {}
  std::optional<std::string> chooseInputFile(const FileDialogRequest&) override { return in_; }
  std::optional<std::string> chooseOutputFile(const FileDialogRequest&) override { return out_; }
  std::optional<std::string> chooseDestination() override { return changeOnce(), out_; }
  bool askVolumeMultiple() override { return false; }
  bool askCutTimes() override { return false; }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
  void setProgress(std::int32_t) override { changeOnce(); }
  void encodeProgress(int) override { changeOnce(); }

  const std::string in_, out_;
  std::vector<std::string> messages;

 private:
  void changeOnce() {
    if (change_) std::exchange(change_, nullptr)();
  }
  std::function<void()> change_;
};

void decode_to_wav(ChangingInputHost& host) {
  WavDecoder decoder;
  ASSERT_TRUE(decoder.open(host.in_));
  WavFileWriter writer(host);
  writer.open(decoder.getInfo());
  writer.attach(&decoder);
  while (writer.attachedDecoder() != nullptr) writer.pump();
  writer.close();
}

TEST(InputChanges, ARemovedInputIsReadToItsEndAndOneCutShortIsAReadError) {
  TempDir dir;
  const std::string in = dir.file("in.wav");
  const Bytes input = make_wav({}, ramp_bytes(200000));
  const Bytes existingOutput{'k', 'e', 'e', 'p'};
  const auto removed = [&] { std::filesystem::remove(in); };
  const auto cutShort = [&] { std::filesystem::resize_file(in, 50000); };
  const struct {
    std::string name;
    std::function<void(ChangingInputHost&)> run;
    std::function<void()> change;
    std::vector<std::string> messages;
    bool whole;  // the output is what the unchanged input gives; otherwise the existing one stays
  } cases[] = {
      {"left", [](auto& host) { ExtractChannel(host, Channel::left); }, removed, {"Abstract left channel finished!"}, true},
      {"left", [](auto& host) { ExtractChannel(host, Channel::left); }, cutShort, {"Read the input wav file error!"}, false},
      {"encode", [](auto& host) { SaveToMp3File(host); }, removed, {"the Mp3 file changed ok!"}, true},
      {"encode", [](auto& host) { SaveToMp3File(host); }, cutShort, {"Error reading input file"}, false},
      {"decode", decode_to_wav, removed, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(in, input);
    ChangingInputHost unchanged(in, dir.file("whole"), nullptr);
    c.run(unchanged);
    write_file(dir.file("out"), existingOutput);
    ChangingInputHost host(in, dir.file("out"), c.change);
    c.run(host);
    EXPECT_EQ(host.messages, c.messages);
    EXPECT_EQ(read_file(dir.file("out")), c.whole ? read_file(dir.file("whole")) : existingOutput);
    EXPECT_EQ(dir.entries().size(), std::filesystem::exists(in) ? 3u : 2u) << "nothing half-written is left";
    std::filesystem::remove(dir.file("whole"));
  }
}

}  // namespace
}  // namespace tunekiln::test
