#include "process/spawn.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace ravik::process {
namespace {

// Descriptors above this are not looked at where close_range cannot mark
// them all at once.
constexpr int kDescriptorLimitCap = 1 << 20;

// The highest descriptor number + 1 that this process may hold.
int descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kDescriptorLimitCap;
  return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, kDescriptorLimitCap));
}

// In the child: makes `fd` the descriptor `target`, inherited across exec;
// -1 closes `target`.
void move_to(int fd, int target) {
  if (fd < 0) {
    ::close(target);
  } else if (fd == target) {
    ::fcntl(fd, F_SETFD, 0);
  } else {
    ::dup2(fd, target);
  }
}

// In the child: marks every descriptor from 3 on close-on-exec. Kernels
// before 5.11 lack CLOSE_RANGE_CLOEXEC: there the descriptors below `max_fd`
// are marked one by one.
void mark_inherited_descriptors_cloexec(int max_fd) {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (int fd = 3; fd < max_fd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Everything the child needs, prepared before fork: between fork and exec
// only async-signal-safe calls are made.
struct ChildPlan {
  char* const* argv;
  char* const* envp;
  const SpawnRequest& request;
  int report_fd;  // carries the errno of a failed chdir or exec
  pid_t parent;
  int max_fd;
};

[[noreturn]] void report_and_exit(int report_fd) {
  const int error = errno;
  [[maybe_unused]] auto written = ::write(report_fd, &error, sizeof error);
  ::_exit(127);
}

[[noreturn]] void run_child(const ChildPlan& plan) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::setpgid(0, 0);
  if (plan.request.end_with_parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != plan.parent) ::_exit(127);  // the parent died before prctl
  }
  move_to(plan.request.stdin_fd, 0);
  move_to(plan.request.stdout_fd, 1);
  move_to(plan.request.stderr_fd, 2);
  mark_inherited_descriptors_cloexec(plan.max_fd);
  if (!plan.request.working_dir.empty() && ::chdir(plan.request.working_dir.c_str()) != 0) {
    report_and_exit(plan.report_fd);
  }
  ::execve(plan.argv[0], plan.argv, plan.envp);
  report_and_exit(plan.report_fd);
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Waits for `pid` to exit and reaps it, through any signal that arrives.
void reap(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

CStringArray::CStringArray(std::vector<std::string> strings) : strings_(std::move(strings)) {
  pointers_.reserve(strings_.size() + 1);
  for (std::string& text : strings_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

std::vector<std::string> environment_entries(const char* const* environment,
                                             const std::function<bool(std::string_view name)>& keep) {
  std::vector<std::string> entries;
  for (const char* const* entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string_view::npos && keep(text.substr(0, equals))) entries.emplace_back(text);
  }
  return entries;
}

pid_t spawn(const SpawnRequest& request) {
  if (request.argv.empty()) throw std::system_error(EINVAL, std::generic_category(), "no program to start");
  const CStringArray argv(request.argv);
  const CStringArray envp(request.environment);
  int report_pipe[2] = {-1, -1};
  if (::pipe2(report_pipe, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  const ChildPlan plan{.argv = argv.data(),
                       .envp = envp.data(),
                       .request = request,
                       .report_fd = report_pipe[1],
                       .parent = ::getpid(),
                       .max_fd = descriptor_limit()};
  const pid_t pid = ::fork();
  if (pid == 0) run_child(plan);
  const int fork_error = errno;
  close_fd(report_pipe[1]);
  if (pid < 0) {
    close_fd(report_pipe[0]);
    throw std::system_error(fork_error, std::generic_category(), "fork");
  }
  int child_error = 0;
  ssize_t got;
  do {
    got = ::read(report_pipe[0], &child_error, sizeof child_error);
  } while (got < 0 && errno == EINTR);
  close_fd(report_pipe[0]);
  if (got == static_cast<ssize_t>(sizeof child_error)) {
    reap(pid);
    throw std::system_error(child_error, std::generic_category(), request.argv.front());
  }
  return pid;
}

}  // namespace ravik::process
