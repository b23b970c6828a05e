#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"
#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_operations.h"

namespace tunekiln::test {

// One input file, one output path and a user who picks both.
class WavOperationTest : public ::testing::Test {
 protected:
  void givenInput(const Bytes& bytes) {
    write_file(inputPath, bytes);
    host.input = inputPath;
    host.output = outputPath;
  }
  Bytes output() const { return read_file(outputPath); }
  // The sample bytes of an output with a 44-byte header.
  Bytes outputSamples() const {
    const Bytes bytes = output();
    return Bytes(bytes.begin() + 44, bytes.end());
  }
  bool outputExists() const { return std::filesystem::exists(outputPath); }
  // The user types `entry` into the volume dialog and presses OK.
  void userTypesMultiple(const std::string& entry) {
    host.volumeDialog = [entry] { return accept_volume_entry(entry); };
  }
  // The user enters a time range (hours, minutes, seconds twice) and presses OK.
  void userCuts(const CutEntries& entries) {
    host.cutDialog = [entries] { return accept_cut_entries(entries).accepted; };
  }

  TempDir dir;
  ScriptedHost host;
  std::string inputPath = dir.file("in.wav");
  std::string outputPath = dir.file("out.wav");
};

}  // namespace tunekiln::test
