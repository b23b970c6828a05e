#include "shell/gui_wav_writer_host.h"

#include <string>

namespace tunekiln {

std::optional<std::string> GuiWavWriterHost::chooseDestination() {
  std::unique_lock lock(mutex_);
  if (closed_) return std::nullopt;
  answer_.reset();
  window_.CallAfter([this] {
    auto path = dialogs_.chooseFileToSave(kWavFileDialog);
    std::lock_guard answerLock(mutex_);
    answer_ = std::move(path);
    answered_.notify_all();
  });
  answered_.wait(lock, [this] { return closed_ || answer_.has_value(); });
  return closed_ ? std::nullopt : *answer_;
}

void GuiWavWriterHost::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  answered_.notify_all();
}

}  // namespace tunekiln
