#include "cli/trace_commands.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "process/spawn.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

// Replaces this process with the viewer, which runs until the user closes
// it; its exit status becomes the command's. Answers only by throwing.
[[noreturn]] void show_trace(const fs::path& trace) {
  std::error_code ec;
  if (!fs::is_regular_file(trace, ec)) throw std::runtime_error("找不到追踪文件 " + trace.string());
  const process::CStringArray argv(show_trace_command(playwright::locate_driver(), trace));
  // The viewer gets the signal dispositions of a fresh process: an ignored
  // SIGPIPE would be inherited across exec.
  std::signal(SIGPIPE, SIG_DFL);
  ::execv(argv.data()[0], argv.data());
  const int error = errno;
  std::signal(SIGPIPE, SIG_IGN);
  throw std::system_error(error, std::generic_category(), "无法启动 Playwright 追踪查看器");
}

}  // namespace

std::vector<std::string> show_trace_command(const playwright::DriverLocation& driver, const fs::path& trace) {
  return {driver.node.string(), driver.cli_js.string(), "show-trace", trace.string()};
}

void report_trace(const fs::path& trace) {
  std::error_code ec;
  if (!fs::is_regular_file(trace, ec)) {
    std::cerr << "未能保存 Playwright 追踪：" << trace.string() << '\n' << std::flush;
    return;
  }
  std::cerr << "Playwright 追踪已保存：" << trace.string() << "（用 ravik trace show " << trace.string()
            << " 查看）\n注意：追踪文件包含本次会话的 Cookie 与页面内容，请勿随意分享\n"
            << std::flush;
}

void add_trace_commands(CLI::App& app, CommandAction& action) {
  CLI::App* trace = app.add_subcommand("trace", "Playwright 追踪");
  trace->require_subcommand(1);
  auto path = std::make_shared<std::string>();
  CLI::App* show = trace->add_subcommand("show", "在 Playwright 追踪查看器中打开追踪文件（会打开浏览器窗口）");
  show->add_option("PATH", *path, "追踪文件，例如 运行目录/trace.zip")->required();
  show->callback([&action, path] { action = [path]() -> int { show_trace(*path); }; });
}

}  // namespace ravik::cli
