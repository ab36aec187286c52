// Child programs (7zz, osslsigncode, openssl) and interruption by signals.
//
// After InstallInterruptHandlers, SIGINT, SIGTERM and SIGHUP only set a flag
// and pass SIGTERM on to the child program that runs at that moment; the
// packing steps check Interrupted(), unwind (their work folders are removed
// by their destructors) and main() ends the process with the same signal.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tnpack {

void InstallInterruptHandlers();

// True once one of the signals above arrived.
bool Interrupted();

// The signal that interrupted the run, or 0.
int InterruptSignal();

// Ends the process with the signal that interrupted it (default action).
[[noreturn]] void ExitWithInterruptSignal();

struct ProgramRun {
  bool started = false;  // false: the program could not be executed at all
  int exit_code = -1;    // -1 when it ended by a signal
  std::string output;    // standard output and error, merged
};

// Runs |arguments| (no shell, standard input from /dev/null) in |directory|
// (the current one when empty). Every piece of output is also passed to
// |on_output| as it arrives. Never puts anything on a command line that the
// caller did not give.
ProgramRun RunProgram(const std::vector<std::string>& arguments, const std::string& directory = "",
                      const std::function<void(const std::string&)>& on_output = nullptr);

// The last |max_lines| non-empty lines of |output|, joined with "; ", for
// an error message.
std::string OutputTail(const std::string& output, size_t max_lines = 3);

// Every line of |output|, empty ones too, without its "\n" or "\r\n"; a
// last line without a line end counts.
std::vector<std::string> OutputLines(const std::string& output);

}  // namespace tnpack
