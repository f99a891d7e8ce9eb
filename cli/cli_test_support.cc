#include "cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "cli/account_prompt.h"

namespace ravik::cli::testing_support {

namespace fs = std::filesystem;

ProcessRequest ravik_request(const std::vector<std::string>& args, const fs::path& config_dir,
                             const fs::path& working_dir, const Environment& extra, const std::string& input) {
  ProcessRequest request;
  request.argv.push_back(RAVIK_CLI_PATH);
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  request.environment = {
      {"RAVIK_NO_UPDATE_CHECK", "1"},
      {"RAVIK_CONFIG_DIR", config_dir.string()},
      {kUsernameVariable, std::nullopt},
      {kPasswordVariable, std::nullopt},
  };
  for (const auto& [name, value] : extra) request.environment[name] = value;
  request.working_dir = working_dir;
  request.input = input;
  return request;
}

ProcessResult run_ravik(const std::vector<std::string>& args, const fs::path& config_dir,
                        const fs::path& working_dir, const Environment& extra, const std::string& input) {
  return run_process(ravik_request(args, config_dir, working_dir, extra, input));
}

Json stdout_json(const ProcessResult& result) {
  Json parsed = Json::parse(result.out, nullptr, /*allow_exceptions=*/false);
  EXPECT_FALSE(parsed.is_discarded()) << "standard output is not JSON:\n" << result.out << "\nstderr:\n" << result.err;
  return parsed.is_discarded() ? Json() : parsed;
}

std::vector<pid_t> descendants(pid_t pid) {
  std::vector<pid_t> found;
  std::error_code ignored;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
    std::ifstream children(task.path() / "children");
    for (pid_t child; children >> child;) {
      found.push_back(child);
      for (pid_t below : descendants(child)) found.push_back(below);
    }
  }
  return found;
}

ProcessTree::~ProcessTree() {
  for (const auto& [pid, handle] : handles_) ::close(handle);
}

void ProcessTree::note_descendants(pid_t root) {
  for (pid_t pid : descendants(root)) {
    if (handles_.contains(pid)) continue;
    const int handle = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (handle >= 0) handles_.emplace(pid, handle);
  }
}

std::vector<pid_t> ProcessTree::still_running(std::chrono::milliseconds grace) const {
  std::vector<pid_t> running;
  const auto deadline = std::chrono::steady_clock::now() + grace;
  for (const auto& [pid, handle] : handles_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd exited{handle, POLLIN, 0};
    if (::poll(&exited, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) running.push_back(pid);
  }
  return running;
}

}  // namespace ravik::cli::testing_support
