// The driver process as the host starts it, with a shell script standing in
// for node: what it inherits (environment, descriptors) and that it is
// always reaped.
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "playwright/internal/driver_environment.h"
#include "playwright/internal/driver_process.h"

namespace playwright {
namespace {

namespace fs = std::filesystem;
using detail::DriverProcess;

// A directory with a "cli.js" that /bin/sh runs as the driver.
class ScriptDriver {
 public:
  explicit ScriptDriver(const std::string& script) {
    std::string pattern = (fs::temp_directory_path() / "ravik-driver-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    std::ofstream(dir_ / "cli.js") << script;
  }
  ~ScriptDriver() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  DriverLocation location() const { return {.node = "/bin/sh", .cli_js = dir_ / "cli.js"}; }

 private:
  fs::path dir_;
};

// Everything the process writes on `fd` until it closes it.
std::string read_all(int fd) {
  std::string text;
  char chunk[4096];
  ssize_t got;
  while ((got = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
  ::close(fd);
  return text;
}

TEST(DriverEnvironmentTest, OnlyWhatNodeAndChromiumNeedPasses) {
  const char* const host[] = {"PATH=/usr/bin",
                              "HOME=/home/u",
                              "LC_ALL=zh_CN.UTF-8",
                              "XDG_RUNTIME_DIR=/run/user/1000",
                              "https_proxy=http://127.0.0.1:3128",
                              "NO_PROXY=localhost",
                              "PLAYWRIGHT_BROWSERS_PATH=/opt/pw",
                              "DISPLAY=:0",
                              "RAVIK_SELLERSPRITE_PASSWORD=secret",
                              "RAVIK_SELLERSPRITE_USERNAME=seller",
                              "RAVIK_CONFIG_DIR=/tmp/c",
                              "NODE_OPTIONS=--require=/tmp/x.js",
                              "LD_PRELOAD=/tmp/x.so",
                              "AWS_SECRET_ACCESS_KEY=k",
                              "PW_LANG_NAME=javascript",
                              "NOT_AN_ENTRY",
                              nullptr};
  const std::vector<std::string> expected = {"PATH=/usr/bin",
                                             "HOME=/home/u",
                                             "LC_ALL=zh_CN.UTF-8",
                                             "XDG_RUNTIME_DIR=/run/user/1000",
                                             "https_proxy=http://127.0.0.1:3128",
                                             "NO_PROXY=localhost",
                                             "PLAYWRIGHT_BROWSERS_PATH=/opt/pw",
                                             "DISPLAY=:0",
                                             "PW_LANG_NAME=python"};
  EXPECT_EQ(detail::driver_environment(host), expected);
}

TEST(DriverProcessTest, TheDriverLeadsItsOwnGroupAndInheritsNoSecretAndNoDescriptorOfTheHost) {
  // A descriptor the host opened without close-on-exec, and the account.
  const int host_fd = ::fcntl(::open("/dev/null", O_RDONLY), F_DUPFD, 50);
  ASSERT_GE(host_fd, 50);
  ::setenv("RAVIK_SELLERSPRITE_PASSWORD", "secret-password", 1);
  const ScriptDriver script("env >&2\n"
                            "[ -e /proc/$$/fd/" + std::to_string(host_fd) + " ] && echo HOST-DESCRIPTOR >&2\n"
                            "set -- $(cat /proc/$$/stat)\n"
                            "[ \"$1\" = \"$5\" ] && echo GROUP-LEADER >&2\n");
  std::string output;
  {
    DriverProcess driver(script.location());
    ::close(driver.take_stdin());
    ::close(driver.take_stdout());
    output = read_all(driver.take_stderr());
  }
  ::unsetenv("RAVIK_SELLERSPRITE_PASSWORD");
  ::close(host_fd);
  EXPECT_EQ(output.find("RAVIK_SELLERSPRITE"), std::string::npos) << output;
  EXPECT_EQ(output.find("HOST-DESCRIPTOR"), std::string::npos) << output;
  EXPECT_NE(output.find("\nPW_LANG_NAME=python\n"), std::string::npos) << output;
  EXPECT_NE(output.find("PATH="), std::string::npos) << output;
  // A group of its own: the terminal's Ctrl-C does not reach it.
  EXPECT_NE(output.find("GROUP-LEADER"), std::string::npos) << output;
}

void ignore_signal(int) {}

TEST(DriverProcessTest, SignalsToTheHostNeitherCutTheDriversGraceNorLeaveAZombie) {
  // A driver that takes a moment to end after its input closed, and says so
  // if it is terminated before.
  const ScriptDriver script("trap 'echo TERMINATED >&2; exit 1' TERM\n"
                            "sleep 0.3 &\n"
                            "wait $!\n");
  pid_t pid = -1;
  int driver_stderr = -1;
  // A signal every millisecond, without SA_RESTART: every blocking wait of
  // the destructor is interrupted many times.
  struct sigaction handler {};
  handler.sa_handler = ignore_signal;
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGALRM, &handler, &previous), 0);
  {
    DriverProcess driver(script.location());
    pid = driver.pid();
    driver_stderr = driver.take_stderr();
    const itimerval every_millisecond{{0, 1000}, {0, 1000}};
    ::setitimer(ITIMER_REAL, &every_millisecond, nullptr);
  }
  const itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_EQ(read_all(driver_stderr), "");
  // Reaped: no zombie is left to collect.
  errno = 0;
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace playwright
