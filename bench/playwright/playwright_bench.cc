// Prints, for the C++ client and for playwright-core driven in-process by
// Node.js, the time to start the driver, launch Chromium on a persistent
// profile and close it again, and the median round trip of
// locator(...).count() on a loaded page.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "playwright/playwright.h"
#include "ravik/run_sync.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRoundTrips = 1000;
constexpr int kLaunches = 5;
const std::string kPageUrl =
    "data:text/html;charset=utf-8,<ul><li class=item>关键词挖掘</li><li class=item>关键词反查</li></ul>";

double milliseconds_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

playwright::LaunchPersistentContextOptions launch_options(const std::string& profile) {
  return {.user_data_dir = profile,
          .headless = true,
          .channel = "chromium",
          .viewport = playwright::ViewportSize{.width = 1440, .height = 900},
          .locale = "zh-CN"};
}

// One driver start, launch and close (with stop) through the C++ client.
double cpp_start_launch_close(const playwright::LaunchPersistentContextOptions& options) {
  const auto start = Clock::now();
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    auto pw = co_await playwright::async_playwright().start();
    auto context = co_await pw.chromium.launch_persistent_context(options);
    co_await context.close();
    co_await pw.stop();
  });
  return milliseconds_since(start);
}

// The median round trip of locator(...).count() through the C++ client.
double cpp_count_round_trip(const playwright::LaunchPersistentContextOptions& options) {
  return ravik::run_sync([&](asio::io_context&) -> asio::awaitable<double> {
    auto pw = co_await playwright::async_playwright().start();
    auto context = co_await pw.chromium.launch_persistent_context(options);
    playwright::Page page = context.pages().front();
    co_await page.goto_(kPageUrl);
    const playwright::Locator items = page.locator("li.item");
    std::vector<double> trips;
    for (int i = 0; i < kRoundTrips; ++i) {
      const auto start = Clock::now();
      co_await items.count();
      trips.push_back(milliseconds_since(start));
    }
    co_await context.close();
    co_await pw.stop();
    co_return median(trips);
  });
}

// Runs node_bench.js with `arguments` and answers the JSON it prints.
nlohmann::json run_node(const playwright::DriverLocation& driver, const std::string& arguments) {
  std::string command;
  for (const std::string& word :
       {driver.node.string(), std::string(RAVIK_BENCH_NODE_SCRIPT), driver.cli_js.parent_path().string()}) {
    command.append("'").append(word).append("' ");
  }
  command.append(arguments);
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run node");
  std::string output;
  std::array<char, 4096> chunk{};
  while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), pipe)) output.append(chunk.data(), got);
  if (::pclose(pipe) != 0) throw std::runtime_error("node_bench.js failed");
  return nlohmann::json::parse(output);
}

}  // namespace

int main() {
  try {
    const playwright::DriverLocation driver = playwright::locate_driver();
    const fs::path base = fs::temp_directory_path() / ("ravik-playwright-bench-" + std::to_string(::getpid()));
    fs::create_directories(base);
    const std::string cpp_profile = (base / "cpp-profile").string();
    const std::string node_profile = std::string("'").append((base / "node-profile").string()).append("'");
    const auto options = launch_options(cpp_profile);

    // C++ and Node cycles alternate, so that a change in the machine's load
    // weighs on both alike.
    std::vector<double> cpp_cycles;
    std::vector<double> node_cycles;
    std::vector<double> node_requires;
    for (int i = 0; i < kLaunches; ++i) {
      cpp_cycles.push_back(cpp_start_launch_close(options));
      const nlohmann::json node = run_node(driver, node_profile + " launch");
      node_requires.push_back(node["require_ms"].get<double>());
      node_cycles.push_back(node["require_ms"].get<double>() + node["launch_close_ms"].get<double>());
    }
    const double cpp_count = cpp_count_round_trip(options);
    const double node_count =
        run_node(driver, std::string(node_profile).append(" count '").append(kPageUrl).append("' ").append(
                             std::to_string(kRoundTrips)))["count_ms"];
    fs::remove_all(base);

    const double cpp_cycle = median(cpp_cycles);
    const double node_cycle = median(node_cycles);
    std::printf("%-46s %12s %12s %7s\n", "median of", "C++ client", "Node", "ratio");
    std::printf("%-46s %9.1f ms %9.1f ms %7.2f\n", "start + launch + close (Node: require + ...)", cpp_cycle,
                node_cycle, cpp_cycle / node_cycle);
    std::printf("%-46s %9.3f ms %9.3f ms %7.2f\n", "locator(...).count() round trip", cpp_count, node_count,
                cpp_count / node_count);
    std::printf("(%d alternating launch cycles, Node's require %.1f ms; %d round trips)\n", kLaunches,
                median(node_requires), kRoundTrips);
  } catch (const std::exception& e) {
    std::cerr << "playwright_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
