#include <cstdio>
#include <cstring>

#include "platform/standard_descriptors.h"
#include "resources/version.h"
#include "shell/tunekiln_app.h"

wxIMPLEMENT_APP_NO_MAIN(tunekiln::CTunekilnApp);

namespace {

constexpr const char* kUsage =
    "Usage: tunekiln [FILE]\n"
    "Plays MP3 and WAV files and changes WAV files, in a window.\n"
    "FILE, an MP3 or WAV file, is opened in the player as \"Open Mp3 File\" would.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

}  // namespace

// Help and version are answered before the toolkit starts, so they need no display.
int main(int argc, char** argv) {
  // Before the toolkit opens its first file or connection.
  tunekiln::make_standard_descriptors_valid();
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tunekiln %s\n", tunekiln::version::kVersion);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
  }
  return wxEntry(argc, argv);
}
