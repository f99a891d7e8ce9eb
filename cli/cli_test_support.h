// Shared by the command's tests: runs the built `ravik` with a test's own
// environment (no update check, a private configuration directory) and
// parses what it printed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/process_runner.h"
#include "ravik/json.h"
#include "tests/support/temp_dir.h"

namespace ravik::cli::testing_support {

using Environment = std::map<std::string, std::optional<std::string>>;

using ravik::test_support::TempDir;

// The request that runs RAVIK_CLI_PATH with `args` in `working_dir`. The
// environment has RAVIK_NO_UPDATE_CHECK set, RAVIK_CONFIG_DIR = `config_dir`
// and the account variables removed, then `extra` applied on top; `input`
// is its standard input.
ProcessRequest ravik_request(const std::vector<std::string>& args, const std::filesystem::path& config_dir,
                             const std::filesystem::path& working_dir, const Environment& extra = {},
                             const std::string& input = "");

// Runs ravik_request(...) to completion.
ProcessResult run_ravik(const std::vector<std::string>& args, const std::filesystem::path& config_dir,
                        const std::filesystem::path& working_dir, const Environment& extra = {},
                        const std::string& input = "");

// The JSON printed on standard output; fails the test (and answers null)
// when it is not JSON.
Json stdout_json(const ProcessResult& result);

// The processes below `pid` at this moment (its children, theirs, ...).
std::vector<pid_t> descendants(pid_t pid);

// Process handles (pidfds) of every process seen below a running command;
// a handle stays with its process even after the command is gone.
class ProcessTree {
 public:
  ProcessTree() = default;
  ~ProcessTree();
  ProcessTree(const ProcessTree&) = delete;
  ProcessTree& operator=(const ProcessTree&) = delete;

  // Takes a handle of every process below `root` not seen before.
  void note_descendants(pid_t root);
  std::size_t size() const { return handles_.size(); }
  // The processes still running after `grace`.
  std::vector<pid_t> still_running(std::chrono::milliseconds grace) const;

 private:
  std::map<pid_t, int> handles_;
};

}  // namespace ravik::cli::testing_support
