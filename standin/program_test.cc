// Tests of the ravik-standin program: it prints its origin, serves, and ends
// cleanly on SIGTERM; a port it cannot take is reported, not crashed on.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>

#include "standin/site.h"

namespace {

// One run of the program with its standard output and error on one pipe.
class Program {
 public:
  explicit Program(const std::string& port) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      dup2(fds[1], STDERR_FILENO);
      close(fds[0]);
      close(fds[1]);
      execl(RAVIK_STANDIN_PROGRAM, RAVIK_STANDIN_PROGRAM, "--port", port.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    output_ = fdopen(fds[0], "r");
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      wait_exit();
    }
    fclose(output_);
  }

  // The first line the program printed, without its line end.
  std::string first_line() {
    char buffer[256] = {};
    if (!fgets(buffer, sizeof buffer, output_)) return "";
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }
  void signal(int number) { kill(pid_, number); }
  // The exit status, or -1 when the program did not exit normally.
  int wait_exit() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
};

TEST(StandinProgram, PrintsOriginServesAndStopsOnSigterm) {
  Program program("0");
  const std::string origin = program.first_line();
  ASSERT_TRUE(origin.starts_with("http://127.0.0.1:")) << origin;
  httplib::Client client(origin);
  auto page = client.Get(std::string(standin::kLoginUrlPath));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  program.signal(SIGTERM);
  EXPECT_EQ(program.wait_exit(), 0);
}

TEST(StandinProgram, PortInUseIsReportedWithFailureStatus) {
  standin::Site holder;
  const std::string origin = holder.start();
  Program program(origin.substr(origin.rfind(':') + 1));
  EXPECT_EQ(program.first_line(), "无法监听 " + origin.substr(std::string_view("http://").size()));
  EXPECT_EQ(program.wait_exit(), 1);
}

}  // namespace
