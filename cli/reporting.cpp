#include "cli/reporting.h"

#include <cstdio>
#include <cstring>

namespace tunekiln {

Reporting& reporting() {
  static Reporting settings;
  return settings;
}

std::string shown_input_name(const std::string& name) { return name == "-" ? "standard input" : name; }

std::string shown_output_name(const std::string& name) { return name == "-" ? "standard output" : name; }

FileFault errno_fault(std::string name, int error) {
  return {std::move(name), error == 0 ? std::string() : std::strerror(error)};
}

void report_finished(std::string_view message) {
  if (reporting().quiet || message.empty()) return;
  if (reporting().dataOnStandardOutput) {
    reporting().heldFinish.append(message).push_back('\n');
    return;
  }
  std::fprintf(stdout, "%.*s\n", static_cast<int>(message.size()), message.data());
}

void release_finish_message() {
  std::fputs(reporting().heldFinish.c_str(), stderr);
  reporting().heldFinish.clear();
}

int report_failure(std::string_view message, const std::optional<FileFault>& fault, int status) {
  if (!message.empty()) std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  if (fault && !fault->reason.empty()) std::fprintf(stderr, "%s: %s\n", fault->name.c_str(), fault->reason.c_str());
  return status;
}

}  // namespace tunekiln
