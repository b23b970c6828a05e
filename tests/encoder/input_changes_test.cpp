// An input that is removed or cut short while a file operation reads it, from the moment the
// operation first reports progress.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "encoder/save_to_mp3.h"
#include "tests/support/scripted_host.h"
#include "tests/support/wav_builder.h"
#include "wavproc/wav_operations.h"

namespace tunekiln::test {
namespace {

using Operation = std::function<std::string(ScriptedHost&)>;  // gives what the user is told at the end

class ChangingInputHost final : public ScriptedHost {
 public:
  explicit ChangingInputHost(std::function<void()> change) : change_(std::move(change)) {}
  void setProgress(std::int32_t) override { changeOnce(); }
  void encodeProgress(int) override { changeOnce(); }

 private:
  void changeOnce() {
    if (change_) std::exchange(change_, nullptr)();
  }
  std::function<void()> change_;
};

std::string run(const Operation& operation, const std::string& in, const std::string& out, std::function<void()> change) {
  ChangingInputHost host(std::move(change));
  host.input = in;
  host.output = out;
  return operation(host);
}

TEST(InputChanges, ARemovedInputIsReadToItsEndAndOneCutShortIsAReadError) {
  TempDir dir;
  const std::string in = dir.file("in.wav");
  const Bytes existingOutput{'k', 'e', 'e', 'p'};
  const Operation left = [](ScriptedHost& host) { return ExtractChannel(host, Channel::left), host.messages.back(); };
  const Operation encode = [](ScriptedHost& host) { return SaveToMp3File(host).text; };
  const auto removed = [&] { std::filesystem::remove(in); };
  const auto cutShort = [&] { std::filesystem::resize_file(in, 50000); };
  const struct {
    Operation operation;
    std::function<void()> change;
    std::string message;
    bool whole;  // the output is what the unchanged input gives; otherwise the existing one stays
  } cases[] = {
      {left, removed, "Abstract left channel finished!", true},
      {left, cutShort, "Read the input wav file error!", false},
      {encode, removed, "the Mp3 file changed ok!", true},
      {encode, cutShort, "Error reading input file", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    write_file(in, make_wav({}, ramp_bytes(200000)));
    run(c.operation, in, dir.file("whole"), nullptr);
    write_file(dir.file("out"), existingOutput);
    EXPECT_EQ(run(c.operation, in, dir.file("out"), c.change), c.message);
    EXPECT_EQ(read_file(dir.file("out")), c.whole ? read_file(dir.file("whole")) : existingOutput);
    EXPECT_EQ(dir.entries().size(), std::filesystem::exists(in) ? 3u : 2u) << "nothing half-written is left";
    std::filesystem::remove(dir.file("whole"));
  }
}

}  // namespace
}  // namespace tunekiln::test
