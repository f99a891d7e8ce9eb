#include "cli/doctor_command.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/doctor_configuration.h"
#include "cli/doctor_environment.h"
#include "cli/doctor_report.h"
#include "cli/doctor_site.h"
#include "cli/exit_codes.h"
#include "cli/flag_checks.h"
#include "cli/json_output.h"
#include "ravik/shared/console.h"

namespace ravik::cli {
namespace {

using seller_sprite_legacy::scraping::ScraperSettings;
using seller_sprite_legacy::scraping::SellerSpriteScraper;

struct DoctorFlags {
  std::string keyword = "yoga mat";
  bool no_search = false;
};

void append(std::vector<CheckLine>& lines, std::vector<CheckLine> more) {
  for (CheckLine& line : more) lines.push_back(std::move(line));
}

int run_doctor(const DoctorFlags& flags) {
  const shared::Console console(stderr);
  std::optional<SellerSpriteScraper> scraper;
  try {
    scraper.emplace(ScraperSettings{.headless = true});
  } catch (const std::exception&) {
    // CONFIG_DIR is unknown: its check says why.
  }
  const SellerSpriteScraper* collector = scraper ? &*scraper : nullptr;

  std::vector<CheckLine> lines;
  console.print("[dim]正在检查运行环境……[/]");
  EnvironmentReport environment = check_environment();
  append(lines, std::move(environment.lines));
  console.print("[dim]正在检查配置……[/]");
  ConfigurationReport configuration = check_configuration(collector);
  append(lines, std::move(configuration.lines));
  console.print("[dim]正在检查卖家精灵站点……[/]");
  const SiteCheckArgs site_args{
      .browser_starts = environment.browser_starts,
      .profile_free = configuration.profile_free,
      .search_keyword = flags.no_search ? std::nullopt : std::optional<std::string>(flags.keyword)};
  append(lines, check_site(collector, site_args));

  console.print();
  for (const std::string& row : table_markup(lines)) console.print(row);
  print_json(report_json(lines));
  return passes(lines) ? kExitCompleted : kExitError;
}

}  // namespace

void add_doctor_command(CLI::App& seller_sprite, CommandAction& action) {
  auto flags = std::make_shared<DoctorFlags>();
  CLI::App* doctor = seller_sprite.add_subcommand(
      "doctor", "检查运行环境、配置、站点登录与页面元素，找出采集失败的原因");
  doctor->add_option("--keyword", flags->keyword, "检查结果行与趋势抽屉时查询的关键词")
      ->check(keyword_text())
      ->capture_default_str();
  doctor->add_flag("--no-search", flags->no_search, "不执行查询（结果行与趋势抽屉不检查）");
  doctor->callback([&action, flags] { action = [flags] { return run_doctor(*flags); }; });
}

}  // namespace ravik::cli
