#include "cli/collector_commands.h"

#include <array>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cli/account_prompt.h"
#include "cli/browser_run.h"
#include "cli/error_report.h"
#include "cli/exit_codes.h"
#include "cli/flag_checks.h"
#include "cli/json_output.h"
#include "cli/run_dir.h"
#include "cli/trace_commands.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"
#include "ravik/shared/file_io.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using ravik::seller_sprite_legacy::domain::SellerSpriteCollectOptions;
using ravik::seller_sprite_legacy::scraping::CollectArgs;
using ravik::seller_sprite_legacy::scraping::ProgressObserver;
using ravik::seller_sprite_legacy::scraping::RunArgs;
using ravik::seller_sprite_legacy::scraping::SellerSpriteScraper;
using ravik::seller_sprite_legacy::scraping::ScraperSettings;

// Everything one browser subcommand reads from its flags.
struct BrowserFlags {
  bool headless = false;
  int timeout_ms = SellerSpriteScraper::DEFAULT_TIMEOUT_MS;
  std::string run_dir;  // empty: a fresh directory under ./runs
  bool ask_account = false;
  bool trace = false;  // a Playwright trace in run_dir/trace.zip
  bool verbose = false;  // each step of the operation as a line on standard error
  SellerSpriteCollectOptions options;
};

// Which groups of flags a subcommand takes.
enum FlagGroup : unsigned {
  kRunDir = 1u << 0,
  kKeyword = 1u << 1,
  kAsin = 1u << 2,
  kMarket = 1u << 3,  // --site, --period
  kPhraseCount = 1u << 4,
  kTrends = 1u << 5,  // --trend-limit, --trend-tabs
  kUrl = 1u << 6,
  kAccount = 1u << 7,
};

template <std::size_t N>
std::vector<std::string> table_keys(const std::array<seller_sprite_legacy::scraping::LabelEntry, N>& table) {
  std::vector<std::string> keys;
  for (const auto& entry : table) keys.emplace_back(entry.key);
  return keys;
}

constexpr int kLargestInt = std::numeric_limits<int>::max();

void add_flags(CLI::App& command, BrowserFlags& flags, unsigned groups) {
  command.add_flag("--headless", flags.headless, "不显示浏览器窗口");
  command.add_option("--timeout-ms", flags.timeout_ms, "页面导航超时（毫秒）")
      ->check(integer_in_range(1, kLargestInt))
      ->capture_default_str();
  command.add_flag("--verbose", flags.verbose, "在标准错误上逐行打印每一步及其时间（便于日志与问题报告）");
  if (groups & kRunDir) {
    command.add_option("--run-dir", flags.run_dir,
                       "本次运行的输出目录（默认：./runs 下以运行 ID 命名的新目录）");
    command.add_flag("--trace", flags.trace,
                     "把整个操作记录为 Playwright 追踪，保存为运行目录下的 trace.zip（用 ravik trace show 查看）");
  }
  SellerSpriteCollectOptions& options = flags.options;
  if (groups & kKeyword) {
    command.add_option("--keyword", options.keyword, "要搜索的关键词")->required()->check(keyword_text());
  }
  if (groups & kAsin) {
    command.add_option("--asin", options.asin, "要反查的 ASIN 或商品链接")->required()->check(non_blank_text());
  }
  if (groups & kMarket) {
    command.add_option("--site", options.site, "站点代码")
        ->check(CLI::IsMember(table_keys(SellerSpriteScraper::SITE_LABELS)))
        ->capture_default_str();
    command.add_option("--period", options.period, "时间范围代码")
        ->check(CLI::IsMember(table_keys(SellerSpriteScraper::PERIOD_LABELS)))
        ->capture_default_str();
  }
  if (groups & kPhraseCount) {
    command.add_option("--phrase-count", options.frequency_phrase_count, "词频视图的词组长度")
        ->check(integer_in_range(1, kLargestInt))
        ->capture_default_str();
  }
  if (groups & kTrends) {
    command.add_option("--trend-limit", options.trend_limit, "打开趋势详情的结果行数（0 表示不打开）")
        ->check(integer_in_range(0, kLargestInt))
        ->capture_default_str();
    command.add_option("--trend-tabs", options.trend_tabs, "趋势标签：all，或以逗号分隔的 search,google,aba,ppc,market")
        ->check(trend_tab_list())
        ->capture_default_str();
  }
  if (groups & kUrl) command.add_option("--url", options.url, "要存档的页面地址")->required()->check(non_blank_text());
  if (groups & kAccount) {
    command.add_flag("--ask-account", flags.ask_account,
                     "在终端询问用于自动登录的账号密码（否则取自环境变量 "
                     "RAVIK_SELLERSPRITE_USERNAME / RAVIK_SELLERSPRITE_PASSWORD）");
  }
}

// What a subcommand does with the collector once its run is set up.
using Operation = std::function<asio::awaitable<Json>(const SellerSpriteScraper&, const RunLocation&,
                                                      const std::optional<Json>& account)>;

struct CommandSpec {
  const char* name;
  const char* description;
  unsigned groups;
  Operation operation;
};

// Keeps `result` as run_dir/result.json, the JSON text the command prints,
// for later reading (ravik seller-sprite export). Throws std::runtime_error
// naming the file, with the system's reason as its cause.
void save_result_file(const fs::path& run_dir, const Json& result) {
  const fs::path file = run_dir / "result.json";
  try {
    ravik::shared::write_file_atomically(file, to_pretty_json(result) + '\n');
  } catch (const std::exception&) {
    std::throw_with_nested(std::runtime_error("无法保存结果文件 " + file.string()));
  }
}

// Builds the collector from `settings` and awaits `operation` on it; the
// collector lives until the operation has ended.
asio::awaitable<Json> run_on_collector(const Operation& operation, ScraperSettings settings, const RunLocation& run,
                                       const std::optional<Json>& account) {
  const SellerSpriteScraper scraper(std::move(settings));
  co_return co_await operation(scraper, run, account);
}

// Reports the run's trace on standard error when the command ends, whether
// it succeeded or failed.
class TraceNotice {
 public:
  explicit TraceNotice(std::optional<fs::path> trace) : trace_(std::move(trace)) {}
  ~TraceNotice() {
    if (trace_) report_trace(*trace_);
  }
  TraceNotice(const TraceNotice&) = delete;
  TraceNotice& operator=(const TraceNotice&) = delete;

 private:
  std::optional<fs::path> trace_;
};

int run_browser_command(const CommandSpec& spec, const BrowserFlags& flags) {
  const std::optional<Json> account = (spec.groups & kAccount) ? resolve_account(flags.ask_account) : std::nullopt;
  RunLocation run;
  if (spec.groups & kRunDir) {
    run = prepare_run_dir(flags.run_dir.empty() ? std::nullopt : std::optional<fs::path>(flags.run_dir),
                          fs::current_path() / "runs");
  }
  const FailureArchiveWatch failure_archive(run.run_dir);
  const std::optional<fs::path> trace =
      flags.trace && !run.run_dir.empty() ? std::optional<fs::path>(run.run_dir / "trace.zip") : std::nullopt;
  std::error_code not_removed;  // then saving fails too, and the notice says so
  if (trace) fs::remove(*trace, not_removed);  // an earlier run's trace must not pass for this one's
  const TraceNotice trace_notice(trace);
  try {
    auto operation = [&](ConsolePointer console, ProgressObserver progress) {
      ScraperSettings settings{.headless = flags.headless,
                               .timeout_ms = flags.timeout_ms,
                               .console = std::move(console),
                               .failure_archive = !run.run_dir.empty(),
                               .trace_path = trace,
                               .progress = std::move(progress)};
      return run_on_collector(spec.operation, std::move(settings), run, account);
    };
    const Json result = run_with_progress(spec.name, flags.verbose, operation);
    // A result file that cannot be saved fails the command, but only after
    // the result is printed: it is not lost either way.
    std::exception_ptr unsaved;
    if (!run.run_dir.empty()) {
      try {
        save_result_file(run.run_dir, result);
      } catch (...) {
        unsaved = std::current_exception();
      }
    }
    const int status = report_result(spec.name, result, run.run_dir.string(), flags.headless);
    if (unsaved) std::rethrow_exception(unsaved);
    return status;
  } catch (const OperationInterrupted& interrupted) {
    std::cerr << interrupted.what() << '\n' << std::flush;
    return interrupted.exit_status();
  } catch (...) {
    const std::optional<fs::path> folder = failure_archive.written_folder();
    if (!folder) throw;
    std::cerr << describe_failure(std::current_exception()) << "页面现场已保存在 " << folder->string() << '\n'
              << std::flush;
    return kExitError;
  }
}

std::vector<CommandSpec> command_specs(const BrowserFlags& flags) {
  const SellerSpriteCollectOptions& options = flags.options;
  auto run_args = [&options](const RunLocation& run) {
    return RunArgs{.options = options, .run_id = run.run_id, .run_dir = run.run_dir};
  };
  auto collect_args = [&options](const RunLocation& run, const std::optional<Json>& account) {
    return CollectArgs{.options = options, .run_id = run.run_id, .run_dir = run.run_dir, .account = account};
  };
  return {
      {"login", "打开登录页，在浏览器中登录后回到终端按回车", 0,
       [](const SellerSpriteScraper& scraper, const RunLocation&, const std::optional<Json>&) {
         return scraper.login_async();
       }},
      {"login-status", "查看浏览器配置是否已登录", kRunDir,
       [run_args](const SellerSpriteScraper& scraper, const RunLocation& run, const std::optional<Json>&) {
         return scraper.login_status_async(run_args(run));
       }},
      {"collect", "采集关键词搜索的词频与关键词列表",
       kRunDir | kKeyword | kMarket | kPhraseCount | kTrends | kAccount,
       [collect_args](const SellerSpriteScraper& scraper, const RunLocation& run, const std::optional<Json>& account) {
         return scraper.collect_async(collect_args(run, account));
       }},
      {"frequency", "只采集关键词搜索的词频",
       kRunDir | kKeyword | kMarket | kPhraseCount,
       [run_args](const SellerSpriteScraper& scraper, const RunLocation& run, const std::optional<Json>&) {
         return scraper.collect_frequency_async(run_args(run));
       }},
      {"keyword-mining", "只采集关键词搜索的关键词列表",
       kRunDir | kKeyword | kMarket | kTrends,
       [run_args](const SellerSpriteScraper& scraper, const RunLocation& run, const std::optional<Json>&) {
         return scraper.collect_keyword_mining_async(run_args(run));
       }},
      {"keyword-reverse", "采集 ASIN 的关键词反查数据",
       kRunDir | kAsin | kMarket | kTrends | kAccount,
       [collect_args](const SellerSpriteScraper& scraper, const RunLocation& run, const std::optional<Json>& account) {
         return scraper.collect_keyword_reverse_async(collect_args(run, account));
       }},
      {"archive", "以当前浏览器配置打开并存档一个页面", kRunDir | kUrl,
       [run_args](const SellerSpriteScraper& scraper, const RunLocation& run, const std::optional<Json>&) {
         return scraper.archive_url_async(run_args(run));
       }},
  };
}

}  // namespace

void add_collector_commands(CLI::App& seller_sprite, CommandAction& action) {
  // Only the chosen subcommand's flags are parsed, so all of them share one
  // record; the chosen command's action keeps it alive.
  auto flags = std::make_shared<BrowserFlags>();
  for (CommandSpec& spec : command_specs(*flags)) {
    CLI::App* command = seller_sprite.add_subcommand(spec.name, spec.description);
    add_flags(*command, *flags, spec.groups);
    command->callback([&action, flags, spec] {
      action = [flags, spec] { return run_browser_command(spec, *flags); };
    });
  }
}

}  // namespace ravik::cli
