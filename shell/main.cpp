#include "platform/standard_descriptors.h"
#include "shell/tunekiln_app.h"

wxIMPLEMENT_APP_NO_MAIN(tunekiln::CTunekilnApp);

int main(int argc, char** argv) {
  // Before the toolkit opens its first file or connection.
  tunekiln::make_standard_descriptors_valid();
  return wxEntry(argc, argv);
}
