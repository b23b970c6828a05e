#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

// What the commands that turn an input file into an output file share: IN OUT or several
// inputs with --output-dir, "-" for the standard streams, and inputs checked before use.
namespace tunekiln {

struct FileArguments {
  std::vector<std::string> files;  // IN OUT, or with an output folder every IN
  std::string outputDir;
  bool keepGoing = false;
  unsigned jobs = 0;  // files at once with an output folder; 0: one per processor
};

void add_file_arguments(CLI::App& command, FileArguments& arguments);

// One input and one output: the paths the operation opens, and the names the user gave.
struct FilePair {
  std::string input, output;
  std::string inputName, outputName;
};

struct FileOperation {
  using InputText = std::function<std::string(const std::string& input)>;
  using Run = std::function<int(const FilePair& files)>;

  // What --output-dir gives an input's name in place of its extension; empty keeps the name.
  std::string outputExtension;
  // The operation's own text for an input it cannot open.
  InputText openInputText;
  // Runs the operation and reports how it ended; gives the exit status.
  Run run;
  // Files only one after another, whatever --jobs says: each result depends on the one before.
  bool oneAtATime = false;
};

// Runs the operation on each pair the arguments name, several at once when asked, and starts no
// new one after a failure unless asked to keep going. Gives the status of the first failure in
// the order of the inputs, or 0.
int run_file_operation(const FileArguments& arguments, const FileOperation& operation);

// The same for an operation that only reads: FilePair's output is empty.
int run_input_operation(const std::string& input, const FileOperation::InputText& openInputText,
                        const FileOperation::Run& run);

// Why the operations cannot read `path` as a file, empty when they can: anything but a regular
// file is refused at once, without waiting on a FIFO's writer.
std::string input_problem(const std::string& path);

// Ends the command after standard output failed with `error`: by SIGPIPE when its reader has
// gone, as any program in a pipeline ends (unless the caller ignores SIGPIPE), and otherwise
// with the reason and status 1.
int standard_output_failed(int error);

}  // namespace tunekiln
