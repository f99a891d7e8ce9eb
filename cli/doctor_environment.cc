#include "cli/doctor_environment.h"

#include <unistd.h>

#include <chrono>
#include <exception>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "cli/process_runner.h"
#include "playwright/browser_type.h"
#include "playwright/playwright.h"
#include "playwright/run_then.h"
#include "ravik/run_sync.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kEnvironmentGroup = "环境";
constexpr std::chrono::seconds kVersionDeadline{20};
// The status of /usr/bin/env when it cannot find the program.
constexpr int kCommandNotFound = 127;

// Runs `argv` to completion (killed after kVersionDeadline) and answers its
// standard output and status; throws std::runtime_error when it cannot be
// started.
ProcessResult run_briefly(std::vector<std::string> argv) {
  ProcessRequest request;
  request.argv = std::move(argv);
  request.deadline = kVersionDeadline;
  request.stderr_target = OutputTarget::closed;
  return run_process(request);
}

// The first line `argv` prints on standard output; nothing when it cannot be
// started, fails or prints nothing in time.
std::optional<std::string> first_output_line(std::vector<std::string> argv) {
  ProcessResult result;
  try {
    result = run_briefly(std::move(argv));
  } catch (const std::exception&) {
    return std::nullopt;
  }
  std::string line = result.out.substr(0, result.out.find('\n'));
  if (result.exit_code != 0 || line.empty()) return std::nullopt;
  return line;
}

CheckLine check_node(std::optional<fs::path>& node) {
  CheckLine line{.group = kEnvironmentGroup, .name = "Node.js"};
  try {
    node = playwright::locate_node();
  } catch (const std::exception&) {
    line.status = CheckStatus::failed;
    line.detail = "找不到 node：" + failure_detail(std::current_exception()) + "；请安装 Node.js（Debian：apt install nodejs）";
    return line;
  }
  const std::optional<std::string> version = first_output_line({node->string(), "--version"});
  line.facts = Json{{"path", node->string()}, {"version", version.value_or("")}};
  if (!version) {
    line.status = CheckStatus::failed;
    line.detail = node->string() + " 无法运行（node --version 失败）";
    return line;
  }
  line.status = CheckStatus::ok;
  line.detail = *version + "（" + node->string() + "）";
  return line;
}

CheckLine check_driver(bool node_found) {
  CheckLine line{.group = kEnvironmentGroup, .name = "Playwright 驱动"};
  const std::string version(playwright::pinned_playwright_core_version());
  if (!node_found) {
    line.detail = "驱动需要 node";
    return line;
  }
  try {
    const fs::path cli = playwright::locate_playwright_core_cli();
    line.status = CheckStatus::ok;
    line.detail = "playwright-core " + version + "（" + cli.parent_path().string() + "）";
    line.facts = Json{{"path", cli.parent_path().string()}, {"version", version}};
  } catch (const std::exception&) {
    line.status = CheckStatus::failed;
    line.detail = "需要 playwright-core " + version + "：" + failure_detail(std::current_exception());
  }
  return line;
}

CheckLine check_chromium(bool& found) {
  CheckLine line{.group = kEnvironmentGroup, .name = "Chromium"};
  const std::string path = playwright::system_chromium_path();
  std::error_code ec;
  found = fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
  if (!found) {
    line.status = CheckStatus::failed;
    line.detail = "找不到可执行的 Chromium：" + path +
                  "；请安装 chromium（Debian：apt install chromium），或用 RAVIK_CHROMIUM_PATH 指定其路径";
    line.facts = Json{{"path", path}};
    return line;
  }
  const std::optional<std::string> version = first_output_line({path, "--version"});
  line.status = CheckStatus::ok;
  line.detail = version.value_or("版本未知") + "（" + path + "）";
  line.facts = Json{{"path", path}, {"version", version.value_or("")}};
  return line;
}

// Starts the driver, launches a headless Chromium on a temporary profile
// and closes both again.
asio::awaitable<void> launch_and_close() {
  playwright::Playwright driver = co_await playwright::async_playwright().start();
  co_await playwright::run_then(
      [&driver]() -> asio::awaitable<void> {
        const playwright::LaunchPersistentContextOptions launch{.user_data_dir = "", .headless = true,
                                                                .channel = "chromium"};
        playwright::BrowserContext context = co_await driver.chromium.launch_persistent_context(launch);
        co_await context.close();
      },
      [&driver] { return driver.stop(); });
}

CheckLine check_launch(bool ready) {
  CheckLine line{.group = kEnvironmentGroup, .name = "无头浏览器启动"};
  if (!ready) {
    line.detail = "需要 node、Playwright 驱动和 Chromium";
    return line;
  }
  const Clock::time_point start = Clock::now();
  try {
    run_sync([](asio::io_context&) { return launch_and_close(); });
    line.status = CheckStatus::ok;
    line.detail = "启动并关闭成功";
  } catch (...) {
    line.status = CheckStatus::failed;
    line.detail = "无法启动：" + failure_detail(std::current_exception());
  }
  line.elapsed = elapsed_since(start);
  return line;
}

// Fonts that cover Chinese, as fontconfig lists them. Not needed for a
// collection: without them the archived screenshots show boxes for text.
CheckLine check_chinese_fonts() {
  CheckLine line{.group = kEnvironmentGroup, .name = "中文字体", .needed = false};
  ProcessResult listed;
  try {
    listed = run_briefly({"/usr/bin/env", "fc-list", ":lang=zh", "family"});  // env finds it on PATH
  } catch (const std::exception&) {
    listed.exit_code = kCommandNotFound;
  }
  if (listed.exit_code == kCommandNotFound) {
    line.detail = "找不到 fc-list（fontconfig），无法检查字体";
    return line;
  }
  std::istringstream families(listed.out);
  std::vector<std::string> names;
  for (std::string family; std::getline(families, family);) {
    if (!family.empty()) names.push_back(family.substr(0, family.find(',')));  // its first name only
  }
  line.facts = Json{{"font_count", names.size()}};
  if (listed.exit_code != 0 || names.empty()) {
    line.status = CheckStatus::failed;
    line.detail = "没有中文字体，存档截图中的中文会显示为方框；请安装 fonts-wqy-microhei 或 fonts-noto-cjk";
    return line;
  }
  line.status = CheckStatus::ok;
  line.detail = std::to_string(names.size()) + " 个字体，例如 " + names.front();
  return line;
}

}  // namespace

EnvironmentReport check_environment() {
  EnvironmentReport report;
  std::optional<fs::path> node;
  report.lines.push_back(check_node(node));
  report.lines.push_back(check_driver(node.has_value()));
  bool chromium_found = false;
  report.lines.push_back(check_chromium(chromium_found));
  const bool driver_found = report.lines[1].status == CheckStatus::ok;
  report.lines.push_back(check_launch(node && driver_found && chromium_found));
  report.browser_starts = report.lines.back().status == CheckStatus::ok;
  report.lines.push_back(check_chinese_fonts());
  return report;
}

}  // namespace ravik::cli
