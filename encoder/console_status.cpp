#include "encoder/console_status.h"

#include <unistd.h>

#include <ctime>
#include <limits>

namespace tunekiln {
namespace {

// Negative differences (a clock set back) count as no time.
void advance(TimeStatus& status, double now) {
  const double passed = now - status.lastReading;
  if (passed > 0) status.elapsedSeconds += passed;
  status.lastReading = now;
}

std::uint32_t whole_seconds(double seconds) {
  if (!(seconds > 0)) return 0;
  if (seconds >= static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
    return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(seconds);
}

}  // namespace

double wall_clock_seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec / 1000000) * 0.001;
}

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

EncoderConsole& process_console() {
  static EncoderConsole console;
  return console;
}

void prepare_console_output(EncoderConsole& console) {
  std::setvbuf(console.err, console.errBuffer.data(), _IOFBF, console.errBuffer.size());
}

void return_console_cursor(EncoderConsole& console) {
  const int fd = ::fileno(console.err);
  if (fd >= 0 && ::isatty(fd) == 1) std::fputc('\r', console.err);
}

int show_time_status(EncoderConsole& console, std::int32_t frame, std::int32_t totalFrames) {
  if (totalFrames < frame) totalFrames = frame;
  const double wallNow = console.wallClock();
  const double processorNow = console.processorClock();
  if (frame == 0) {
    console.wallTime = {.lastReading = wallNow};
    console.processorTime = {.lastReading = processorNow};
  }
  advance(console.wallTime, wallNow);
  advance(console.processorTime, processorNow);
  if (frame == 0 && !console.firstReportTaken) {
    console.firstReportTaken = true;
    return 0;
  }
  if (frame > 0) console.firstReportTaken = false;

  estimate_times(console.wallTime, frame, totalFrames);
  estimate_times(console.processorTime, frame, totalFrames);
  const int percent =
      frame >= totalFrames ? 100 : static_cast<int>(frame * 100.0 / totalFrames + 0.5);

  if (!console.showStatus) return percent;
  const std::uint32_t wallElapsed = whole_seconds(console.wallTime.elapsedSeconds);
  const std::uint32_t wallEstimated = whole_seconds(console.wallTime.estimatedSeconds);
  print_duration(console.err, whole_seconds(console.processorTime.elapsedSeconds), '/');
  print_duration(console.err, whole_seconds(console.processorTime.estimatedSeconds), '|');
  print_duration(console.err, wallElapsed, '/');
  print_duration(console.err, wallEstimated, '|');
  print_duration(console.err, wallEstimated > wallElapsed ? wallEstimated - wallElapsed : 0, ' ');
  return percent;
}

void estimate_times(TimeStatus& status, std::int32_t frame, std::int32_t totalFrames) {
  status.estimatedSeconds =
      frame > 0 && status.elapsedSeconds > 0 ? status.elapsedSeconds * totalFrames / frame : 0;
}

void print_duration(std::FILE* stream, std::uint32_t seconds, char trailing) {
  const unsigned long hours = seconds / 3600;
  const unsigned minutes = seconds / 60 % 60;
  const unsigned rest = seconds % 60;
  if (hours == 0) {
    std::fprintf(stream, "   %2u:%02u%c", minutes, rest, trailing);
  } else if (hours < 100) {
    std::fprintf(stream, "%2lu:%02u:%02u%c", hours, minutes, rest, trailing);
  } else {
    std::fprintf(stream, "%6lu h%c", hours, trailing);
  }
}

void end_time_status(EncoderConsole& console) {
  if (console.showStatus) std::fputs("\n", console.err);
  std::fflush(console.err);
}

void flush_console_output(EncoderConsole& console) { std::fflush(console.err); }

void print_bitrate_table(std::FILE* stream) {
  static constexpr int kVersion1[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr int kVersion2[14] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  const struct {
    const char* version;
    int divisor;
    const int* bitrates;
  } blocks[] = {{"1", 1, kVersion1}, {"2", 2, kVersion2}, {"2.5", 4, kVersion2}};
  for (const auto& block : blocks) {
    std::fprintf(stream, "\nMPEG-%-3s layer III sample frequencies (kHz):  %2d  %2d  %g\nbitrates (kbps):",
                 block.version, 32 / block.divisor, 48 / block.divisor, 44.1 / block.divisor);
    for (int i = 0; i < 14; ++i) std::fprintf(stream, " %2i", block.bitrates[i]);
    std::fputs("\n", stream);
  }
  std::fputs("\n", stream);
  std::fflush(stream);
}

}  // namespace tunekiln
