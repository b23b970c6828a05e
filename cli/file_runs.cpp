#include "cli/file_runs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "cli/process_setup.h"
#include "cli/reporting.h"
#include "cli/terminal_status.h"
#include "platform/replacement_file.h"
#include "platform/standard_descriptors.h"
#include "platform/unique_fd.h"

namespace tunekiln {
namespace {

std::string temporary_folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// Copies everything `from` holds, to its end, onto `to`; errno says why when false.
bool copy_stream(int from, int to) {
  std::array<char, 65536> buffer;
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t written = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      done += written;
    }
  }
}

// Standard input kept in a file without a name, as the operations read their input at any
// offset. Nothing is left of it, however the process ends.
class InputSpool {
 public:
  bool fill() {
    fd_ = UniqueFd(::open(temporary_folder().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd_.valid()) {
      std::string name = temporary_folder() + "/tunekiln-XXXXXX";
      fd_ = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
      if (!fd_.valid()) return false;
      ::unlink(name.c_str());
    }
    return copy_stream(STDIN_FILENO, fd_.get());
  }
  // A name that opens the file, for operations that take a path.
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

 private:
  UniqueFd fd_;
};

// The output of an operation whose OUT is standard output: written to a private folder and
// sent on only when complete, so a reader never gets part of a result.
class OutputSpool {
 public:
  bool create() {
    std::string folder = temporary_folder() + "/tunekiln-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return false;
    folder_ = folder;
    return true;
  }
  ~OutputSpool() { remove(); }

  std::string path() const { return folder_ + "/out"; }
  // The complete result onto standard output; errno says why when false.
  bool send() const {
    const UniqueFd file(::open(path().c_str(), O_RDONLY | O_CLOEXEC));
    return file.valid() && copy_stream(file.get(), STDOUT_FILENO);
  }

 private:
  void remove() const {
    if (folder_.empty()) return;
    ::unlink(path().c_str());
    ::rmdir(folder_.c_str());
  }

  std::string folder_;
  SignalCleanup cleanup_{[this] { remove(); }};
};

std::string output_in_folder(const std::string& input, const FileArguments& arguments,
                             const std::string& extension) {
  const auto slash = input.rfind('/');
  std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
  if (!extension.empty()) {
    const auto point = name.rfind('.');
    if (point != std::string::npos && point > 0) name.erase(point);
    name += extension;
  }
  return arguments.outputDir + "/" + name;
}

// Checks IN, or fills the spool from standard input for "-"; nothing when the operation can go on.
std::optional<int> prepare_input(FilePair& files, InputSpool& spool, const FileOperation::InputText& openInputText) {
  const std::string input = files.input;
  if (input == "-") {
    if (standard_descriptor_was_closed(STDIN_FILENO)) {
      return report_failure(openInputText(input), errno_fault(files.inputName, EBADF));
    }
    if (!spool.fill()) return report_failure(openInputText(input), errno_fault(files.inputName, errno));
    files.input = spool.path();
  } else if (const auto problem = input_problem(input); !problem.empty()) {
    return report_failure(openInputText(input), FileFault{files.inputName, problem});
  }
  return std::nullopt;
}

int run_pair(const std::string& input, const std::string& output, const FileOperation& operation) {
  FilePair files{input, output, shown_input_name(input), shown_output_name(output)};
  // A result for a closed standard output would be lost: the caller gets nothing and a failure.
  if (output == "-" && standard_descriptor_was_closed(STDOUT_FILENO)) {
    return report_failure("", errno_fault(files.outputName, EBADF));
  }
  InputSpool inputSpool;
  if (const auto refused = prepare_input(files, inputSpool, operation.openInputText)) return *refused;
  if (output != "-") return operation.run(files);

  OutputSpool outputSpool;
  if (!outputSpool.create()) return report_failure("", errno_fault(temporary_folder(), errno));
  files.output = outputSpool.path();
  reporting().dataOnStandardOutput = true;
  const int status = operation.run(files);
  if (status != 0) return status;
  if (!outputSpool.send()) return standard_output_failed(errno);
  release_finish_message();
  return 0;
}

// The file `path` names, when it exists.
std::optional<std::pair<dev_t, ino_t>> file_identity(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return std::pair{status.st_dev, status.st_ino};
}

// A batch whose outputs are all known before the first is written: one that would replace an
// input (under any name: a link, "./m" for "m"), or two inputs with one output, would lose a
// file. Nothing when the batch can go on.
std::optional<int> refuse_lost_files(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  std::map<std::pair<dev_t, ino_t>, std::string> inputFiles;
  for (const auto& input : inputs) {
    if (const auto identity = file_identity(input)) inputFiles.emplace(*identity, input);
  }
  std::map<std::string, std::string> outputFrom;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto identity = file_identity(outputs[i]);
    if (const auto same = identity ? inputFiles.find(*identity) : inputFiles.end(); same != inputFiles.end()) {
      return report_failure("The output of " + inputs[i] + " would replace the input " + same->second +
                            ": nothing was written.");
    }
    if (const auto [first, added] = outputFrom.emplace(outputs[i], inputs[i]); !added) {
      return report_failure(first->second + " and " + inputs[i] + " would both be written to " + outputs[i] +
                            ": nothing was written.");
    }
  }
  return std::nullopt;
}

// Several files at once, each on a thread of its own with its messages held and written whole
// when it is done; one line on a terminal for the batch. The threads take the inputs in order,
// so every input before a failed one has been started.
class ParallelBatch {
 public:
  ParallelBatch(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                const FileOperation& operation, bool keepGoing)
      : inputs_(inputs), outputs_(outputs), operation_(operation), keepGoing_(keepGoing),
        statuses_(inputs.size(), 0) {}

  int run(std::size_t jobs) {
    showProgress();
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < jobs; ++i) threads.emplace_back([this] { work(); });
    for (auto& thread : threads) thread.join();
    statusLine_.clear();
    for (const int status : statuses_) {
      if (status != 0) return status;
    }
    return 0;
  }

 private:
  void work() {
    for (;;) {
      std::size_t index = 0;
      {
        const std::lock_guard lock(lock_);
        if (stopped_ || next_ == inputs_.size()) return;
        index = next_++;
      }
      HeldMessages held;
      int status = 0;
      {
        const HoldMessages holding(held);
        status = run_pair(inputs_[index], outputs_[index], operation_);
      }
      const std::lock_guard lock(lock_);
      statusLine_.clear();
      std::fwrite(held.out.data(), 1, held.out.size(), stdout);
      if (statusLine_.enabled()) std::fflush(stdout);  // on the terminal before the line comes back
      std::fwrite(held.err.data(), 1, held.err.size(), stderr);
      statuses_[index] = status;
      if (status != 0 && !keepGoing_) stopped_ = true;
      ++done_;
      showProgress();
    }
  }

  // Called with the lock held, or before the threads start.
  void showProgress() {
    if (reporting().quiet) return;
    const auto position = static_cast<std::int32_t>(done_ * 1000000 / inputs_.size());
    statusLine_.show(progress_bar_text(position) + "  " + std::to_string(done_) + " of " +
                     std::to_string(inputs_.size()) + " files");
  }

  const std::vector<std::string>& inputs_;
  const std::vector<std::string>& outputs_;
  const FileOperation& operation_;
  const bool keepGoing_;
  std::mutex lock_;
  std::size_t next_ = 0;  // the next input to start
  std::size_t done_ = 0;
  bool stopped_ = false;  // a file failed and the batch does not keep going
  std::vector<int> statuses_;
  TerminalStatusLine statusLine_;
};

std::size_t job_count(unsigned asked, std::size_t files) {
  const std::size_t jobs = asked != 0 ? asked : std::max(1U, std::thread::hardware_concurrency());
  return std::min(jobs, files);
}

}  // namespace

void add_file_arguments(CLI::App& command, FileArguments& arguments) {
  command.add_option("IN OUT", arguments.files, "the file to read (never changed) and the file to write; - is "
                                                "standard input or output. With --output-dir: every IN")
      ->type_name("")
      ->required();
  auto* folder = command.add_option("--output-dir", arguments.outputDir,
                                    "write each IN's result into this folder under IN's name (encode: .mp3, decode: .wav)")
                     ->type_name("DIR");
  command.add_flag("--keep-going", arguments.keepGoing, "with --output-dir: go on after a file fails")
      ->needs(folder);
  command.add_option("--jobs", arguments.jobs, "with --output-dir: how many files at once; default: one per processor")
      ->type_name("N")
      ->check(CLI::Range(1U, 1024U))
      ->needs(folder);
}

int run_file_operation(const FileArguments& arguments, const FileOperation& operation) {
  if (arguments.outputDir.empty()) {
    if (arguments.files.size() != 2) throw CLI::ValidationError("IN OUT", "expected IN and OUT, or --output-dir");
    return run_pair(arguments.files[0], arguments.files[1], operation);
  }
  for (const auto& input : arguments.files) {
    if (input == "-") throw CLI::ValidationError("IN", "- has no name to give its output in --output-dir");
  }
  std::vector<std::string> outputs;
  for (const auto& input : arguments.files) {
    outputs.push_back(output_in_folder(input, arguments, operation.outputExtension));
  }
  if (const auto refused = refuse_lost_files(arguments.files, outputs)) return *refused;
  if (const std::size_t jobs = job_count(arguments.jobs, outputs.size()); jobs > 1 && !operation.oneAtATime) {
    return ParallelBatch(arguments.files, outputs, operation, arguments.keepGoing).run(jobs);
  }
  int status = 0;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const int one = run_pair(arguments.files[i], outputs[i], operation);
    if (status == 0) status = one;
    if (status != 0 && !arguments.keepGoing) break;
  }
  return status;
}

int run_input_operation(const std::string& input, const FileOperation::InputText& openInputText,
                        const FileOperation::Run& run) {
  FilePair files{input, "", shown_input_name(input), ""};
  InputSpool spool;
  if (const auto refused = prepare_input(files, spool, openInputText)) return *refused;
  return run(files);
}

std::string input_problem(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status {};
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0) return std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return std::strerror(EISDIR);
  return S_ISREG(status.st_mode) ? std::string() : "Not a regular file";
}

int standard_output_failed(int error) {
  if (error == EPIPE && !signal_ignored_by_caller(SIGPIPE)) end_by_signal(SIGPIPE);
  return report_failure("", errno_fault("standard output", error));
}

}  // namespace tunekiln
