#include "cli/reporting.h"

#include <cstdio>
#include <cstring>

namespace tunekiln {
namespace {

thread_local HeldMessages* heldHere = nullptr;

}  // namespace

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
  if (heldHere != nullptr) {
    heldHere->out.append(message).push_back('\n');
    return;
  }
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
  std::string text;
  if (!message.empty()) text.append(message).push_back('\n');
  if (fault && !fault->reason.empty()) text.append(fault->name).append(": ").append(fault->reason).push_back('\n');
  if (heldHere != nullptr) {
    heldHere->err += text;
  } else {
    std::fputs(text.c_str(), stderr);  // one call: the reason stays under its message
  }
  return status;
}

void report_note(std::string_view line) {
  if (heldHere != nullptr) {
    heldHere->err.append(line).push_back('\n');
  } else {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  }
}

HoldMessages::HoldMessages(HeldMessages& held) { heldHere = &held; }

HoldMessages::~HoldMessages() { heldHere = nullptr; }

HeldMessages* held_messages() { return heldHere; }

}  // namespace tunekiln
