#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "engine/decoder.h"
#include "engine/notification_sink.h"
#include "engine/stream_info.h"
#include "platform/wake_event.h"

namespace tunekiln {

// A destination of PCM: the sound card or a WAV file. The engine opens the current output for
// a stream format, attaches a decoder and pumps; used only on the engine thread, except for
// the wake event, which anything may signal.
class Output {
 public:
  virtual ~Output() = default;

  // Makes the output ready for PCM of that format.
  virtual void open(const StreamInfo& info) = 0;
  // Releases everything open took.
  virtual void close() = 0;
  // Moves PCM from the attached decoder into the output. When the decoder's read answers the
  // end or a failure, the output closes the decoder and detaches it.
  virtual void pump() = 0;
  virtual void pause(bool paused) = 0;
  // True when nothing queued remains to be played or written.
  virtual bool isDone() = 0;
  // Drops whatever is queued.
  virtual void reset() = 0;
  // Level 0..100; an output without a volume of its own ignores it.
  virtual void setVolume(int level) = 0;
  // How long the sound handed to the output takes until it has all been heard: nothing for an
  // output that writes rather than plays.
  virtual std::uint32_t unheardMilliseconds() { return 0; }

  // Nothing for an output that is not to be pumped by its own signal.
  WakeEvent* wakeEvent() const { return wakeEvent_.get(); }
  Decoder* attachedDecoder() const { return attachedDecoder_; }
  void attach(Decoder* decoder) { attachedDecoder_ = decoder; }
  // Whole seconds handed out by the last decoder the output closed at its stream's end.
  std::int32_t endPosition() const { return endPosition_; }
  const std::string& name() const { return name_; }
  // Where the output posts its failures (PLAYER_NTF_READ_FAILED and the others), on the engine
  // thread as they happen; without a sink they go unheard.
  void reportTo(NotificationSink& sink) { failures_ = &sink; }

 protected:
  explicit Output(std::string name) : name_(std::move(name)) {}

  // The auto-reset event the output signals when it wants to be pumped again, not signalled.
  void createWakeEvent() { wakeEvent_ = std::make_unique<WakeEvent>(); }
  void releaseWakeEvent() { wakeEvent_.reset(); }
  // The end of the attached decoder's stream, as its last read answered it.
  void closeAndDetachDecoder(ReadResult how = ReadResult::end) {
    if (how == ReadResult::failed && failures_ != nullptr) {
      failures_->post({.number = PLAYER_NTF_READ_FAILED, .name = attachedDecoder_->refusal()});
    }
    endPosition_ = attachedDecoder_->getPosition();
    attachedDecoder_->close();
    attachedDecoder_ = nullptr;
  }
  void reportFailure(std::uint32_t notification, std::uint32_t first = 0) {
    if (failures_ != nullptr) failures_->post({.number = notification, .first = first});
  }

 private:
  std::unique_ptr<WakeEvent> wakeEvent_;
  Decoder* attachedDecoder_ = nullptr;
  std::int32_t endPosition_ = 0;
  std::string name_;
  NotificationSink* failures_ = nullptr;
};

}  // namespace tunekiln
