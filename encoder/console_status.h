#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

// The encoder's console: the status line with two clocks and the time estimates, the
// percentage done, and the table of MPEG layer III sample rates and bitrates.
namespace tunekiln {

// One clock's account of the conversion, in seconds.
struct TimeStatus {
  double lastReading = 0;
  double elapsedSeconds = 0;
  double estimatedSeconds = 0;
};

// The current time with millisecond resolution.
double wall_clock_seconds();
// The processor time the process has used.
double cpu_seconds();

// Where the encoder's texts go and what the status display keeps between reports. The
// command uses process_console(); tests give their own streams and clocks.
struct EncoderConsole {
  std::FILE* err = stderr;  // the status line and every message
  std::FILE* out = stdout;  // the LAME Tag lines only
  double (*wallClock)() = wall_clock_seconds;
  double (*processorClock)() = cpu_seconds;
  TimeStatus wallTime;
  TimeStatus processorTime;
  // The first report of a conversion prints nothing; this survives into the next conversion.
  bool firstReportTaken = false;
  // Off where several conversions run at once and their caller shows one line for them all.
  bool showStatus = true;
  // Becomes the error stream's buffer, so it must outlive the stream's use of it.
  std::array<char, 1024> errBuffer{};
};

// Standard error and standard output, kept for the life of the process.
EncoderConsole& process_console();

// Gives the error stream full buffering with the console's own buffer.
void prepare_console_output(EncoderConsole& console);
// Starts the next status line at column 0 where the error stream is a terminal.
void return_console_cursor(EncoderConsole& console);
// Takes both clocks, prints the status line and returns the percentage done, 0 to 100.
int show_time_status(EncoderConsole& console, std::int32_t frame, std::int32_t totalFrames);
void estimate_times(TimeStatus& status, std::int32_t frame, std::int32_t totalFrames);
// "   m:ss", " h:mm:ss" or "     h h", followed by `trailing`.
void print_duration(std::FILE* stream, std::uint32_t seconds, char trailing);
void end_time_status(EncoderConsole& console);
void flush_console_output(EncoderConsole& console);
void print_bitrate_table(std::FILE* stream);

}  // namespace tunekiln
