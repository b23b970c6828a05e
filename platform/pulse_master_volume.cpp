// The master volume over libpulse: the default sink's volume, read and set by name.
#include "platform/master_volume.h"

#include <algorithm>

#include "platform/pulse_connection.h"

namespace tunekiln {
namespace {

constexpr const char* kDefaultSink = "@DEFAULT_SINK@";
// Each call waits for the server's answer, at most this long.
constexpr std::chrono::milliseconds kAnswerLimit{2000};

class PulseMasterVolume final : public MasterVolume {
 public:
  explicit PulseMasterVolume(std::unique_ptr<PulseConnection> connection) : connection_(std::move(connection)) {}

  std::optional<std::uint32_t> get() override {
    PulseConnection::Lock lock(*connection_);
    const auto volume = defaultSinkVolume();
    if (!volume) return std::nullopt;
    return pa_cvolume_max(&*volume);
  }

  bool set(std::uint32_t value) override {
    PulseConnection::Lock lock(*connection_);
    auto volume = defaultSinkVolume();  // for the number of its channels
    if (!volume) return false;
    pa_cvolume_set(&*volume, volume->channels, std::min<pa_volume_t>(value, PA_VOLUME_MAX));
    Answer answer{*connection_};
    const bool answered = connection_->finish(
        pa_context_set_sink_volume_by_name(connection_->context(), kDefaultSink, &*volume, onSuccess, &answer),
        kAnswerLimit);
    return answered && answer.success;
  }

 private:
  struct Answer {
    const PulseConnection& connection;
    bool success = false;
    std::optional<pa_cvolume> volume;
  };

  // With the lock held.
  std::optional<pa_cvolume> defaultSinkVolume() {
    Answer answer{*connection_};
    connection_->finish(
        pa_context_get_sink_info_by_name(connection_->context(), kDefaultSink, onSinkInfo, &answer), kAnswerLimit);
    return answer.volume;
  }

  static void onSinkInfo(pa_context*, const pa_sink_info* info, int last, void* self) {
    auto& answer = *static_cast<Answer*>(self);
    if (last == 0 && info != nullptr) answer.volume = info->volume;
    answer.connection.wakeWaiter();
  }

  static void onSuccess(pa_context*, int success, void* self) {
    auto& answer = *static_cast<Answer*>(self);
    answer.success = success != 0;
    answer.connection.wakeWaiter();
  }

  std::unique_ptr<PulseConnection> connection_;
};

}  // namespace

std::unique_ptr<MasterVolume> open_master_volume(const std::string& server, std::chrono::milliseconds limit) {
  auto connection = PulseConnection::open(server, limit);
  if (!connection) return nullptr;
  return std::make_unique<PulseMasterVolume>(std::move(connection));
}

}  // namespace tunekiln
