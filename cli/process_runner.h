// Runs a program to completion with a chosen environment and working
// directory, feeding its standard input and collecting its output, exit
// status and peak resident memory. Used by the command's end-to-end tests
// and its benchmark.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ravik::cli {

// Where one of the program's output streams goes.
enum class OutputTarget {
  captured,     // a pipe read into the result
  closed,       // no descriptor at all
  full_device,  // /dev/full: every write fails with ENOSPC
  broken_pipe,  // a pipe whose reading end is already closed: writes fail with EPIPE
};

struct ProcessRequest {
  std::vector<std::string> argv;  // argv[0] is the program's path
  // Environment changes over the current environment: a value sets the
  // variable, std::nullopt removes it.
  std::map<std::string, std::optional<std::string>> environment;
  std::filesystem::path working_dir;  // empty: the current one
  std::string input;                  // written to standard input, then closed
  // The process group is killed after this long; the run then reports -1.
  std::chrono::seconds deadline{300};
  OutputTarget stdout_target = OutputTarget::captured;
  OutputTarget stderr_target = OutputTarget::captured;
  // Called about every 10 ms while the program runs, with its process id and
  // what it wrote to standard error so far; lets a caller act on the program
  // (e.g. send it a signal) at a chosen moment.
  std::function<void(pid_t pid, const std::string& err)> on_progress;
};

struct ProcessResult {
  int exit_code = -1;  // the exit status; 128 + n after signal n; -1 after the deadline
  std::string out;
  std::string err;
  long peak_rss_kb = 0;  // highest VmHWM seen while the program ran (sampled)
  std::chrono::steady_clock::duration wall_time{};
  // User plus system CPU time of the program and the children it reaped.
  std::chrono::microseconds cpu_time{};
};

// Starts the program in its own process group, waits for it and reaps it.
// Throws std::runtime_error when it cannot be started.
ProcessResult run_process(const ProcessRequest& request);

}  // namespace ravik::cli
