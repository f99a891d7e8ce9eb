// Benchmark of the `ravik` command as a user runs it.
//
// 1. `ravik seller-sprite collect` (both sections, no trends) against the
//    stand-in site with a profile that is already logged in: wall time
//    against the floor that the collector's fixed pauses impose, and the
//    peak resident memory of the ravik process itself (the driver and the
//    browser are separate processes and not counted).
// 2. `ravik --version` with a fresh version cache (no network): wall time.
// 3. `ravik seller-sprite batch` of ten keywords (no trends, no pause)
//    against ten separate collects of the same keywords, in one run: both
//    totals, what the batch saved, and the batch's peak resident memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/process_runner.h"
#include "ravik/json.h"
#include "ravik/version.h"
#include "standin/site.h"

namespace {

namespace fs = std::filesystem;
using ravik::cli::ProcessRequest;
using ravik::cli::ProcessResult;
using ravik::cli::run_process;

// The collector's fixed pauses on one collect: 3000 + 1000 + 500 + 500 +
// 1000 + 1000 ms, plus the 500 ms that network idle needs.
constexpr double kFloorMs = 3000 + 1000 + 500 + 500 + 1000 + 1000 + 500;
constexpr int kCollectRuns = 3;
constexpr int kVersionRuns = 30;
constexpr int kBatchKeywords = 10;
constexpr double kBatchRssTargetMiB = 20;

double millis(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

ProcessResult run_ravik(const std::vector<std::string>& args, const fs::path& config_dir,
                        const std::map<std::string, std::optional<std::string>>& extra) {
  ProcessRequest request;
  request.argv = {RAVIK_CLI_PATH};
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  request.environment = extra;
  request.environment["RAVIK_CONFIG_DIR"] = config_dir.string();
  request.working_dir = config_dir.parent_path();
  return run_process(request);
}

// The stand-in's environment for the browser commands, with the demo account.
std::map<std::string, std::optional<std::string>> collector_environment(const std::string& origin) {
  return {
      {"RAVIK_SELLERSPRITE_ORIGIN", origin},
      {"RAVIK_NO_UPDATE_CHECK", "1"},
      {"RAVIK_SELLERSPRITE_USERNAME", std::string(standin::kDemoUsername)},
      {"RAVIK_SELLERSPRITE_PASSWORD", std::string(standin::kDemoPassword)},
  };
}

void bench_collect(const fs::path& work_dir) {
  standin::Site site;
  const std::string origin = site.start();
  const fs::path config_dir = work_dir / "collect-config";
  const auto environment = collector_environment(origin);
  auto collect = [&](const std::string& run) {
    return run_ravik({"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--trend-limit", "0",
                      "--run-dir", (work_dir / run).string()},
                     config_dir, environment);
  };
  // The first run logs the fresh profile in; it is not measured.
  const ProcessResult warm_up = collect("warm-up");
  if (warm_up.exit_code != 0) {
    std::fprintf(stderr, "cli_bench: warm-up collect failed (%d):\n%s", warm_up.exit_code, warm_up.err.c_str());
    return;
  }
  std::vector<double> wall_ms;
  long peak_rss_kb = 0;
  for (int i = 0; i < kCollectRuns; ++i) {
    const ProcessResult run = collect("run-" + std::to_string(i));
    if (run.exit_code != 0) {
      std::fprintf(stderr, "cli_bench: collect failed (%d):\n%s", run.exit_code, run.err.c_str());
      return;
    }
    wall_ms.push_back(millis(run.wall_time));
    peak_rss_kb = std::max(peak_rss_kb, run.peak_rss_kb);
  }
  const double typical = median(wall_ms);
  std::printf("collect (both sections, no trends), median of %d runs:\n", kCollectRuns);
  std::printf("  wall time            %8.0f ms\n", typical);
  std::printf("  fixed-pause floor    %8.0f ms\n", kFloorMs);
  std::printf("  above the floor      %8.0f ms\n", typical - kFloorMs);
  std::printf("  ravik peak RSS       %8.1f MiB (driver and browser not counted)\n", peak_rss_kb / 1024.0);
}

void bench_batch(const fs::path& work_dir) {
  standin::Site site;
  const std::string origin = site.start();
  const fs::path config_dir = work_dir / "batch-config";
  const auto environment = collector_environment(origin);
  auto collect = [&](const std::string& keyword, const std::string& run) {
    return run_ravik({"seller-sprite", "collect", "--keyword", keyword, "--headless", "--trend-limit", "0",
                      "--run-dir", (work_dir / run).string()},
                     config_dir, environment);
  };
  // The first run logs the fresh profile in; it is not measured.
  if (const ProcessResult warm_up = collect("warm up", "batch-warm-up"); warm_up.exit_code != 0) {
    std::fprintf(stderr, "cli_bench: warm-up collect failed (%d):\n%s", warm_up.exit_code, warm_up.err.c_str());
    return;
  }
  std::vector<std::string> keywords;
  for (int i = 0; i < kBatchKeywords; ++i) keywords.push_back("keyword " + std::to_string(i + 1));

  double commands_ms = 0;
  for (int i = 0; i < kBatchKeywords; ++i) {
    const ProcessResult run = collect(keywords[static_cast<std::size_t>(i)], "single-" + std::to_string(i));
    if (run.exit_code != 0) {
      std::fprintf(stderr, "cli_bench: collect failed (%d):\n%s", run.exit_code, run.err.c_str());
      return;
    }
    commands_ms += millis(run.wall_time);
  }

  const fs::path keywords_file = work_dir / "batch-keywords.txt";
  {
    std::ofstream out(keywords_file);
    for (const std::string& keyword : keywords) out << keyword << '\n';
  }
  const ProcessResult batch =
      run_ravik({"seller-sprite", "batch", "--keywords-file", keywords_file.string(), "--headless", "--pause", "0",
                 "--trend-limit", "0", "--run-dir", (work_dir / "batch").string()},
                config_dir, environment);
  if (batch.exit_code != 0) {
    std::fprintf(stderr, "cli_bench: batch failed (%d):\n%s", batch.exit_code, batch.err.c_str());
    return;
  }
  const double batch_ms = millis(batch.wall_time);
  const double peak_mib = batch.peak_rss_kb / 1024.0;
  std::printf("%d keywords (both sections, no trends): one batch against %d collect commands:\n", kBatchKeywords,
              kBatchKeywords);
  std::printf("  %d collect commands  %8.0f ms\n", kBatchKeywords, commands_ms);
  std::printf("  one batch            %8.0f ms\n", batch_ms);
  std::printf("  saved by the batch   %8.0f ms (%.0f ms per browser start avoided; target: at least 4500 ms)\n",
              commands_ms - batch_ms, (commands_ms - batch_ms) / (kBatchKeywords - 1));
  std::printf("  batch peak RSS       %8.1f MiB (ravik only; target: under %.0f MiB)\n", peak_mib,
              kBatchRssTargetMiB);
}

void bench_version(const fs::path& work_dir) {
  const fs::path config_dir = work_dir / "version-config";
  fs::create_directories(config_dir);
  const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  std::ofstream(config_dir / "pypi_version_cache.json")
      << ravik::Json{{"latest_version", ravik::version::get_version()}, {"checked_at", now}}.dump();
  std::vector<double> wall_ms, cpu_ms;
  for (int i = 0; i < kVersionRuns; ++i) {
    // The update check runs: the fresh cache keeps it off the network.
    // A stale cache would send it to a dead loopback port, never outside.
    const ProcessResult run = run_ravik({"--version"}, config_dir,
                                        {{"RAVIK_NO_UPDATE_CHECK", std::nullopt},
                                         {"RAVIK_PACKAGE_INDEX_ORIGIN", "http://127.0.0.1:9"}});
    if (run.exit_code != 0) {
      std::fprintf(stderr, "cli_bench: ravik --version failed (%d):\n%s", run.exit_code, run.err.c_str());
      return;
    }
    wall_ms.push_back(millis(run.wall_time));
    cpu_ms.push_back(millis(run.cpu_time));
  }
  std::printf("ravik --version with a fresh version cache, %d runs (bar: under 10 ms):\n", kVersionRuns);
  std::printf("  wall time  median %.2f ms, fastest %.2f ms\n", median(wall_ms),
              *std::min_element(wall_ms.begin(), wall_ms.end()));
  // On a busy machine the wall time waits for a core; the CPU time does not.
  std::printf("  CPU time   median %.2f ms\n", median(cpu_ms));
}

}  // namespace

int main() {
  std::random_device random;
  const fs::path work_dir = fs::temp_directory_path() / ("ravik-cli-bench-" + std::to_string(random()));
  fs::create_directories(work_dir);
  bench_version(work_dir);
  bench_collect(work_dir);
  bench_batch(work_dir);
  std::error_code ignored;
  fs::remove_all(work_dir, ignored);
  return 0;
}
