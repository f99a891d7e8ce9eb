#include "cli/browser_flags.h"

#include <array>
#include <limits>
#include <vector>

#include "cli/flag_checks.h"

namespace ravik::cli {
namespace {

using ravik::seller_sprite_legacy::domain::SellerSpriteCollectOptions;
using ravik::seller_sprite_legacy::scraping::SellerSpriteScraper;

template <std::size_t N>
std::vector<std::string> table_keys(const std::array<seller_sprite_legacy::scraping::LabelEntry, N>& table) {
  std::vector<std::string> keys;
  for (const auto& entry : table) keys.emplace_back(entry.key);
  return keys;
}

constexpr int kLargestInt = std::numeric_limits<int>::max();

}  // namespace

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


}  // namespace ravik::cli
