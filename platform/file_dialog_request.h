#pragma once

// Kept only while engine/wav_writer_host.h still names the dialog; the request is the hosts'
// notion and lives beside them in wavproc/.
#include "wavproc/file_dialog_request.h"
