#include "cli/account_prompt.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string>

#include "ravik/environment.h"

namespace ravik::cli {
namespace {

// Terminal settings in force before echo was turned off; a signal that ends
// the process during the prompt restores them first.
termios saved_terminal{};
constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void restore_terminal_and_reraise(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// Turns terminal echo off for its lifetime.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return;
    active_ = true;
    struct sigaction action {};
    action.sa_handler = restore_terminal_and_reraise;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
      sigaction(kRestoringSignals[i], &action, &previous_[i]);
    }
    termios quiet = saved_terminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  ~EchoOff() {
    if (!active_) return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal);
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
      sigaction(kRestoringSignals[i], &previous_[i], nullptr);
    }
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  bool active_ = false;
  struct sigaction previous_[std::size(kRestoringSignals)] {};
};

std::string read_answer(const std::string& prompt, bool hidden) {
  std::cerr << prompt << std::flush;
  std::string answer;
  bool answered = false;
  if (hidden && isatty(STDIN_FILENO)) {
    EchoOff echo_off;
    answered = static_cast<bool>(std::getline(std::cin, answer));
    std::cerr << '\n';
  } else {
    answered = static_cast<bool>(std::getline(std::cin, answer));
  }
  if (!answered) throw std::runtime_error("标准输入已结束，未读到回答：" + prompt);
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return answer;
}

}  // namespace

std::optional<Json> resolve_account(bool ask) {
  std::string username = environment::variable(kUsernameVariable).value_or("");
  if (username.empty() && ask) username = read_answer("卖家精灵账号：", false);
  if (username.empty()) return std::nullopt;
  std::string password = environment::variable(kPasswordVariable).value_or("");
  if (password.empty()) password = read_answer("卖家精灵密码（" + username + "）：", true);
  return Json{{"username", username}, {"password", password}};
}

}  // namespace ravik::cli
