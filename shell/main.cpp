#include "shell/tunekiln_app.h"

wxIMPLEMENT_APP(tunekiln::CTunekilnApp);
