// Starting child processes, shared by the Playwright client (its driver) and
// the command's test runner: the argument and environment arrays that execve
// takes, and one fork/exec path that gives the child exactly its three
// standard streams and a process group of its own.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::process {

// A null-terminated array of C strings over strings it owns, as execve
// takes argv and envp.
class CStringArray {
 public:
  explicit CStringArray(std::vector<std::string> strings);
  CStringArray(const CStringArray&) = delete;
  CStringArray& operator=(const CStringArray&) = delete;

  [[nodiscard]] char* const* data() const { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

// The "NAME=value" entries of the environ-style array `environment` (null
// ends it; a null array is empty) whose name `keep` accepts, in order.
// Entries without "=" are dropped.
[[nodiscard]] std::vector<std::string> environment_entries(const char* const* environment,
                                                           const std::function<bool(std::string_view name)>& keep);

// What a child is started with.
struct SpawnRequest {
  std::vector<std::string> argv;         // argv[0] is the program's path
  std::vector<std::string> environment;  // the child's whole environment, "NAME=value"
  // Our descriptors that become the child's 0, 1 and 2; -1 leaves that
  // stream closed in the child.
  int stdin_fd = -1;
  int stdout_fd = -1;
  int stderr_fd = -1;
  std::filesystem::path working_dir;  // empty: ours
  // The child gets SIGTERM when the thread that started it ends.
  bool end_with_parent = false;
};

// Forks and executes `request`. The child leads a process group of its own,
// starts with no signal blocked and inherits no descriptor but its three
// streams. Answers its pid; the caller reaps it. Throws std::system_error
// carrying the errno when it cannot be started (a failed chdir or exec
// included; that child is already reaped).
[[nodiscard]] pid_t spawn(const SpawnRequest& request);

}  // namespace ravik::process
