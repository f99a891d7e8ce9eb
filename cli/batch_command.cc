#include "cli/batch_command.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/account_prompt.h"
#include "cli/batch_jobs.h"
#include "cli/batch_results.h"
#include "cli/batch_run.h"
#include "cli/batch_summary.h"
#include "cli/browser_flags.h"
#include "cli/browser_run.h"
#include "cli/exit_codes.h"
#include "cli/json_output.h"
#include "cli/progress_indicator.h"
#include "cli/run_dir.h"
#include "playwright/run_then.h"
#include "ravik/seller_sprite_legacy/scraping/browser_session.h"
#include "ravik/shared/file_io.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using seller_sprite_legacy::scraping::BrowserSession;
using seller_sprite_legacy::scraping::ScraperSettings;
using seller_sprite_legacy::scraping::SellerSpriteScraper;

// The job records of a batch, kept in its run directory.
constexpr const char* kJobsFile = "jobs.jsonl";
constexpr const char* kResultsFile = "results.jsonl";
constexpr double kDefaultPauseSeconds = 8;

struct BatchFlags {
  BrowserFlags browser;  // window, time-out, run directory, defaults of the items, account
  std::string keywords_file;
  std::string asins_file;
  std::string jobs_file;
  std::string resume;  // a run directory to take up again
  double pause_seconds = kDefaultPauseSeconds;
};

// A batch run set up: its directory and its items.
struct BatchSetup {
  fs::path run_dir;
  std::vector<BatchJob> jobs;
};

std::string read_input(const fs::path& file) {
  try {
    return ravik::shared::read_regular_file(file);
  } catch (const std::exception&) {
    std::throw_with_nested(BatchInputError("无法读取输入文件 " + file.string()));
  }
}

std::vector<BatchJob> jobs_of_input(const BatchFlags& flags) {
  const auto& defaults = flags.browser.options;
  if (!flags.keywords_file.empty()) {
    return jobs_from_list(read_input(flags.keywords_file), JobKind::keyword, defaults, "关键词文件 " + flags.keywords_file);
  }
  if (!flags.asins_file.empty()) {
    return jobs_from_list(read_input(flags.asins_file), JobKind::asin, defaults, "ASIN 文件 " + flags.asins_file);
  }
  return jobs_from_json_lines(read_input(flags.jobs_file), defaults, "任务文件 " + flags.jobs_file);
}

std::string jobs_text(const std::vector<BatchJob>& jobs) {
  std::string text;
  for (const BatchJob& job : jobs) text += job_record(job).dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
  return text;
}

// A new run: the items read and checked, then the run directory made and
// the items kept in it. Throws BatchInputError for input that cannot be
// used, before anything is written.
BatchSetup start_run(const BatchFlags& flags) {
  BatchSetup setup;
  setup.jobs = jobs_of_input(flags);
  const std::string& requested = flags.browser.run_dir;
  if (!requested.empty() && fs::exists(fs::path(requested) / kJobsFile)) {
    throw BatchInputError("运行目录 " + requested + " 中已有批量任务；要继续它，请执行 " + resume_command(requested));
  }
  setup.run_dir = prepare_run_dir(requested.empty() ? std::nullopt : std::optional<fs::path>(requested),
                                  fs::current_path() / "runs")
                      .run_dir;
  ravik::shared::write_file_atomically(setup.run_dir / kJobsFile, jobs_text(setup.jobs));
  return setup;
}

// The run in flags.resume, as its kept job records give it.
BatchSetup resume_run(const BatchFlags& flags) {
  const fs::path run_dir = flags.resume;
  const fs::path jobs_file = run_dir / kJobsFile;
  if (!fs::is_regular_file(jobs_file)) {
    throw std::runtime_error(run_dir.string() + " 不是批量运行目录（缺少 " + std::string(kJobsFile) + "）");
  }
  return {run_dir, jobs_from_json_lines(ravik::shared::read_regular_file(jobs_file), {}, jobs_file.string())};
}

// Runs `plan` in one browser session, closed on every way out, with the
// progress line naming the item at work.
asio::awaitable<Json> run_in_session(const BatchPlan& plan, const BatchFlags& flags, ResultsLog& log,
                                     const OperationSurroundings& surroundings) {
  ScraperSettings settings{.headless = flags.browser.headless,
                           .timeout_ms = flags.browser.timeout_ms,
                           .console = surroundings.console,
                           .failure_archive = true,
                           .progress = surroundings.progress};
  const SellerSpriteScraper scraper(std::move(settings));
  BrowserSession session(scraper);
  co_await session.open();
  const auto started = std::chrono::steady_clock::now();
  BatchWatch watch{
      .item_starting =
          [&surroundings, started](std::size_t position, std::size_t count, const BatchJob& job) {
            surroundings.indicator.set_label(progress_label(position, count, job_subject(job), position - 1,
                                                            std::chrono::steady_clock::now() - started));
          },
      .interrupted = [&surroundings] { return surroundings.interrupts.signal_number() != 0; },
  };
  co_return co_await playwright::run_then([&] { return run_batch_items(session, plan, log, watch); },
                                          [&] { return session.close(); });
}

int run_batch_command(const BatchFlags& flags) {
  BatchSetup setup;
  try {
    setup = flags.resume.empty() ? start_run(flags) : resume_run(flags);
  } catch (const BatchInputError& error) {
    std::cerr << "错误：" << error.what() << '\n' << std::flush;
    return kExitUsage;
  }
  const fs::path results_file = setup.run_dir / kResultsFile;
  BatchPlan plan{.jobs = setup.jobs, .to_run = {}, .run_dir = setup.run_dir,
                 .pause = std::chrono::milliseconds(static_cast<long long>(flags.pause_seconds * 1000))};
  const std::map<std::size_t, std::string> before = recorded_statuses(results_file);
  for (std::size_t index = 1; index <= plan.jobs.size(); ++index) {
    const auto found = before.find(index);
    if (found == before.end() || found->second != kCompleted) plan.to_run.push_back(index);
  }

  Json stop = Json::object();
  if (!plan.to_run.empty()) {
    plan.account = resolve_account(flags.browser.ask_account);
    ResultsLog log(results_file);
    try {
      stop = run_watched("batch", flags.browser.verbose, [&](const OperationSurroundings& surroundings) {
        return run_in_session(plan, flags, log, surroundings);
      });
    } catch (const OperationInterrupted& interrupted) {
      std::cerr << interrupted.what() << "；已完成的各项已保存，可执行 " << resume_command(setup.run_dir) << " 继续\n"
                << std::flush;
      return interrupted.exit_status();
    }
  }
  const BatchSummary summary = summarize_batch(setup.run_dir, plan.jobs, recorded_statuses(results_file), stop);
  print_json(summary.json);
  std::cerr << summary.text << std::flush;
  return summary.exit_status;
}

}  // namespace

void add_batch_command(CLI::App& seller_sprite, CommandAction& action) {
  auto flags = std::make_shared<BatchFlags>();
  CLI::App* command = seller_sprite.add_subcommand(
      "batch", "在一个浏览器中依次采集多个关键词或 ASIN，结果逐项追加到运行目录的 results.jsonl，可中断后继续");
  add_flags(*command, flags->browser, kMarket | kPhraseCount | kTrends | kAccount);
  CLI::Option* keywords = command->add_option("--keywords-file", flags->keywords_file,
                                              "关键词文件：每行一个关键词（空行与 # 开头的行跳过）");
  CLI::Option* asins = command->add_option("--asins-file", flags->asins_file, "ASIN 文件：每行一个 ASIN，做关键词反查");
  CLI::Option* jobs = command->add_option(
      "--jobs", flags->jobs_file,
      "任务文件（JSON Lines）：每行一个对象，含 keyword 或 asin，可选 site、period、phrase_count、trend_limit、trend_tabs");
  CLI::Option* resume = command->add_option("--resume", flags->resume, "继续一次中断或受阻的批量运行（其运行目录）");
  CLI::Option* run_dir = command->add_option("--run-dir", flags->browser.run_dir,
                                             "本次批量的输出目录（默认：./runs 下以运行 ID 命名的新目录）");
  command->add_option("--pause", flags->pause_seconds, "两项之间的停顿秒数（上下随机浮动 50%，0 表示不停顿）")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  keywords->excludes(asins, jobs, resume);
  asins->excludes(jobs, resume);
  jobs->excludes(resume);
  run_dir->excludes(resume);
  for (const char* item_default : {"--site", "--period", "--phrase-count", "--trend-limit", "--trend-tabs"}) {
    command->get_option(item_default)->excludes(resume);
  }
  command->callback([&action, flags, command] {
    if (command->count("--keywords-file") + command->count("--asins-file") + command->count("--jobs") +
            command->count("--resume") ==
        0) {
      throw CLI::ValidationError("须给出 --keywords-file、--asins-file、--jobs 或 --resume 之一");
    }
    action = [flags] { return run_batch_command(*flags); };
  });
}

}  // namespace ravik::cli
