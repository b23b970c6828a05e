#pragma once

#include <wx/event.h>

#include <condition_variable>
#include <mutex>

#include "engine/wav_writer_host.h"
#include "shell/form_widgets.h"

namespace tunekiln {

// Answers the WAV file writer's question with the window's WAV save dialog: the engine thread
// asks, the dialog runs on the window's thread, and the engine thread waits for the answer.
class GuiWavWriterHost final : public WavWriterHost {
 public:
  GuiWavWriterHost(wxEvtHandler& window, FormDialogs& dialogs) : window_(window), dialogs_(dialogs) {}

  std::optional<std::string> chooseDestination() override;
  // The window is going away: a question waiting for it, and every later one, is cancelled,
  // so that the engine thread can end.
  void close();

 private:
  wxEvtHandler& window_;
  FormDialogs& dialogs_;
  std::mutex mutex_;
  std::condition_variable answered_;
  bool closed_ = false;
  std::optional<std::optional<std::string>> answer_;
};

}  // namespace tunekiln
