// The window's tests run inside the real application object, under a display.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>

#include "shell/tunekiln_app.h"

wxIMPLEMENT_APP_NO_MAIN(tunekiln::CTunekilnApp);

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);  // takes its own flags out of argv first
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 1;
  // Under a loop as active as the application's own, through which the display's events come.
  const int status = [] {
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    return RUN_ALL_TESTS();
  }();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return status;
}
