// The sound card over libpulse: one playback stream on the default sink, fed from the queued
// blocks in small pieces so that little is buffered at the server.
#include "platform/wave_out_device.h"

#include <algorithm>
#include <deque>

#include "platform/pulse_connection.h"

namespace tunekiln {
namespace {

// What the server holds ahead of the speaker: small, so that playing starts and a seek is heard
// soon. The server asks for more in pieces of a quarter of that.
constexpr pa_usec_t kServerBufferUsec = 60 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kRequestUsec = kServerBufferUsec / 4;
// The longest closing waits for the sound the server already has to reach the speaker.
constexpr std::chrono::milliseconds kPlayOutLimit{2000};

pa_cvolume stream_volume(VolumeWord volume, int channels) {
  // The server's scale is cubic in amplitude; the word is linear, as on the wave-out devices.
  const auto linear = [](std::uint32_t half) { return pa_sw_volume_from_linear(static_cast<double>(half) / 0xFFFF); };
  pa_cvolume result;
  pa_cvolume_init(&result);
  result.channels = static_cast<std::uint8_t>(channels);
  result.values[0] = linear(volume & 0xFFFF);
  if (channels == 2) result.values[1] = linear(volume >> 16);
  return result;
}

class PulseWaveOut final : public WaveOutDevice {
 public:
  PulseWaveOut(std::unique_ptr<PulseConnection> connection, WakeEvent& wake)
      : connection_(std::move(connection)), wake_(wake) {}
  PulseWaveOut(const PulseWaveOut&) = delete;
  PulseWaveOut& operator=(const PulseWaveOut&) = delete;
  ~PulseWaveOut() override;

  // Creates the stream and waits until the server has set it up; false when it refused.
  bool connect(const pa_sample_spec& sampleFormat, std::optional<VolumeWord> volume, std::chrono::milliseconds limit);
  bool serverAlive() const {
    PulseConnection::Lock lock(*connection_);
    return connection_->alive();
  }

  void write(WaveBlock& block) override;
  void pause() override { cork(true); }
  void restart() override { cork(false); }
  void reset() override;
  void setVolume(VolumeWord volume) override;
  std::chrono::microseconds unheard() override;
  bool gone() const override { return gone_.load(); }

 private:
  // A queued block and how much of it the server has been given.
  struct Pending {
    WaveBlock* block;
    std::size_t written;
    std::uint64_t end;  // where the block ends, in bytes queued since the last flush
  };

  // The rest run on libpulse's thread or with the lock held.
  static void onState(pa_stream* stream, void* self);
  static void onWritable(pa_stream* stream, std::size_t bytes, void* self);
  static void onUnderflow(pa_stream* stream, void* self);
  static void onTiming(pa_stream* stream, int success, void* self);

  bool usable() const { return !gone_.load() && connection_->alive(); }
  // Waits until what the server has taken has been played: leaving the sink earlier would take
  // it back from there.
  void playOut();
  void cork(bool paused);
  // Gives the server as much of the queued blocks as it asks for.
  void feed();
  // Asks where the server's reading stands; finished blocks are settled when the answer comes.
  void requestTiming();
  void settleFinishedBlocks();

  std::unique_ptr<PulseConnection> connection_;
  WakeEvent& wake_;
  pa_stream* stream_ = nullptr;
  int channels_ = 0;
  pa_sample_spec sampleFormat_{};
  std::deque<Pending> pending_;
  std::uint64_t queuedBytes_ = 0;   // since the last flush
  std::uint64_t writtenBytes_ = 0;  // given to the server since the last flush
  bool unstarted_ = false;          // written since playing was last forced to start
  bool dropped_ = false;            // a flush since the last write: nothing is left to play out
  pa_operation* timing_ = nullptr;  // the timing request in flight
  bool timingAgain_ = false;        // the server moved on since that request
  std::atomic<bool> gone_{false};
};

bool PulseWaveOut::connect(const pa_sample_spec& sampleFormat, std::optional<VolumeWord> volume,
                           std::chrono::milliseconds limit) {
  PulseConnection::Lock lock(*connection_);
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
  stream_ = pa_stream_new_with_proplist(connection_->context(), "Playback", &sampleFormat, nullptr, properties);
  pa_proplist_free(properties);
  if (stream_ == nullptr) return false;
  channels_ = sampleFormat.channels;
  sampleFormat_ = sampleFormat;
  pa_stream_set_state_callback(stream_, onState, this);
  pa_stream_set_write_callback(stream_, onWritable, this);
  pa_stream_set_underflow_callback(stream_, onUnderflow, this);

  pa_buffer_attr buffer;
  buffer.maxlength = static_cast<std::uint32_t>(-1);
  buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kServerBufferUsec, &sampleFormat));
  buffer.prebuf = static_cast<std::uint32_t>(-1);  // as much as tlength
  buffer.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(kRequestUsec, &sampleFormat));
  buffer.fragsize = static_cast<std::uint32_t>(-1);
  const pa_cvolume start = volume ? stream_volume(*volume, channels_) : pa_cvolume{};
  if (pa_stream_connect_playback(stream_, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, volume ? &start : nullptr,
                                 nullptr) < 0) {
    return false;
  }
  const auto settled = [this] {
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
  };
  return connection_->waitUntil(settled, limit) && pa_stream_get_state(stream_) == PA_STREAM_READY;
}

PulseWaveOut::~PulseWaveOut() {
  PulseConnection::Lock lock(*connection_);
  if (stream_ == nullptr) return;
  if (usable() && pending_.empty() && !dropped_) playOut();
  if (timing_ != nullptr) {
    pa_operation_cancel(timing_);
    pa_operation_unref(timing_);
  }
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
  if (pa_stream_get_state(stream_) == PA_STREAM_READY) pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
}

void PulseWaveOut::playOut() {
  const auto wake = [](pa_stream*, int, void* connection) { static_cast<PulseConnection*>(connection)->wakeWaiter(); };
  if (!connection_->finish(pa_stream_update_timing_info(stream_, wake, connection_.get()), kPlayOutLimit)) return;
  const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
  if (timing == nullptr) return;
  // The stream's own queue is empty once its last block has finished; the sink's buffer is left.
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(timing->sink_usec));
  connection_->waitUntil([] { return false; }, std::min(left + std::chrono::milliseconds(1), kPlayOutLimit));
}

void PulseWaveOut::write(WaveBlock& block) {
  PulseConnection::Lock lock(*connection_);
  block.queued.store(true);
  queuedBytes_ += block.length;
  pending_.push_back({&block, 0, queuedBytes_});
  feed();
}

void PulseWaveOut::cork(bool paused) {
  PulseConnection::Lock lock(*connection_);
  if (!usable()) return;
  if (pa_operation* operation = pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr)) {
    pa_operation_unref(operation);
  }
}

void PulseWaveOut::reset() {
  PulseConnection::Lock lock(*connection_);
  // With nothing queued there is nothing to drop, and what is on its way to the speaker stays.
  if (pending_.empty()) return;
  if (usable()) {
    if (pa_operation* operation = pa_stream_flush(stream_, nullptr, nullptr)) pa_operation_unref(operation);
  }
  for (const Pending& pending : pending_) pending.block->queued.store(false);
  pending_.clear();
  queuedBytes_ = writtenBytes_ = 0;
  unstarted_ = false;
  dropped_ = true;
  wake_.signal();
}

void PulseWaveOut::setVolume(VolumeWord volume) {
  PulseConnection::Lock lock(*connection_);
  if (!usable()) return;
  const pa_cvolume values = stream_volume(volume, channels_);
  if (pa_operation* operation = pa_context_set_sink_input_volume(connection_->context(), pa_stream_get_index(stream_),
                                                                 &values, nullptr, nullptr)) {
    pa_operation_unref(operation);
  }
}

std::chrono::microseconds PulseWaveOut::unheard() {
  PulseConnection::Lock lock(*connection_);
  if (pending_.empty() || !usable()) return {};
  // What the server has not been given yet, and what it holds ahead of the speaker; until the
  // server has said where it stands, none of what it was given counts as heard.
  pa_usec_t atServer = 0;
  int negative = 0;
  if (pa_stream_get_latency(stream_, &atServer, &negative) != 0) {
    atServer = pa_bytes_to_usec(writtenBytes_, &sampleFormat_);
  } else if (negative != 0) {
    atServer = 0;
  }
  const pa_usec_t notGiven = pa_bytes_to_usec(queuedBytes_ - writtenBytes_, &sampleFormat_);
  return std::chrono::microseconds(atServer + notGiven);
}

void PulseWaveOut::feed() {
  if (!usable()) return;
  std::size_t writable = pa_stream_writable_size(stream_);
  if (writable == static_cast<std::size_t>(-1)) return;
  for (Pending& pending : pending_) {
    if (writable == 0) break;
    const std::size_t left = pending.block->length - pending.written;
    if (left == 0) continue;
    const std::size_t piece = std::min(writable, left);
    // Copied: the block goes back to the decoder once played, not once written.
    const std::uint8_t* from = pending.block->data + pending.written;
    if (pa_stream_write(stream_, from, piece, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
    pending.written += piece;
    writtenBytes_ += piece;
    writable -= piece;
    unstarted_ = true;
    dropped_ = false;
  }
  // The server starts only once it holds a full buffer; at the end of a stream, or when the
  // decoder falls behind, it gets no more, so it is told to play what it has.
  if (unstarted_ && writtenBytes_ == queuedBytes_) {
    if (pa_operation* operation = pa_stream_trigger(stream_, nullptr, nullptr)) pa_operation_unref(operation);
    unstarted_ = false;
  }
}

void PulseWaveOut::requestTiming() {
  if (timing_ != nullptr) {
    timingAgain_ = true;
    return;
  }
  timing_ = pa_stream_update_timing_info(stream_, onTiming, this);
}

void PulseWaveOut::settleFinishedBlocks() {
  const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
  // Indexes from before a flush say nothing about what has been written since.
  if (timing == nullptr || timing->write_index_corrupt || timing->read_index_corrupt) return;
  const std::int64_t unplayed = std::max<std::int64_t>(timing->write_index - timing->read_index, 0);
  const std::int64_t played = static_cast<std::int64_t>(writtenBytes_) - unplayed;
  bool finished = false;
  while (!pending_.empty() && static_cast<std::int64_t>(pending_.front().end) <= played) {
    pending_.front().block->queued.store(false);
    pending_.pop_front();
    finished = true;
  }
  if (finished) wake_.signal();
}

void PulseWaveOut::onState(pa_stream* stream, void* self) {
  auto& device = *static_cast<PulseWaveOut*>(self);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && !device.gone_.exchange(true)) device.wake_.signal();
  device.connection_->wakeWaiter();
}

void PulseWaveOut::onWritable(pa_stream*, std::size_t, void* self) {
  auto& device = *static_cast<PulseWaveOut*>(self);
  device.feed();
  // The server has played on; a block it has been given whole may be finished now.
  const auto& pending = device.pending_;
  if (!pending.empty() && pending.front().written == pending.front().block->length) device.requestTiming();
}

void PulseWaveOut::onUnderflow(pa_stream*, void* self) { static_cast<PulseWaveOut*>(self)->requestTiming(); }

void PulseWaveOut::onTiming(pa_stream*, int success, void* self) {
  auto& device = *static_cast<PulseWaveOut*>(self);
  pa_operation_unref(device.timing_);
  device.timing_ = nullptr;
  if (success) device.settleFinishedBlocks();
  if (device.timingAgain_) {
    device.timingAgain_ = false;
    device.requestTiming();
  }
}

}  // namespace

DeviceOpening open_wave_out(const WaveFormat& format, WakeEvent& wake, std::optional<VolumeWord> volume,
                            const std::string& server, std::chrono::milliseconds limit) {
  pa_sample_spec sampleFormat;
  sampleFormat.format = format.bitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
  sampleFormat.rate = static_cast<std::uint32_t>(format.sampleRate);
  sampleFormat.channels = static_cast<std::uint8_t>(format.channels);
  const bool knownShape = (format.bitsPerSample == 8 || format.bitsPerSample == 16) &&
                          (format.channels == 1 || format.channels == 2) && format.sampleRate > 0;
  if (!knownShape || !pa_sample_spec_valid(&sampleFormat)) return {nullptr, DeviceFailure::formatRefused};

  auto connection = PulseConnection::open(server, limit);
  if (!connection) return {nullptr, DeviceFailure::noServer};
  auto device = std::make_unique<PulseWaveOut>(std::move(connection), wake);
  if (!device->connect(sampleFormat, volume, limit)) {
    return {nullptr, device->serverAlive() ? DeviceFailure::formatRefused : DeviceFailure::noServer};
  }
  return {std::move(device), DeviceFailure::noServer};
}

}  // namespace tunekiln
