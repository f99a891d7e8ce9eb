#include "cli/doctor_site.h"

#include <chrono>
#include <exception>

#include "ravik/environment.h"
#include "ravik/run_sync.h"
#include "ravik/seller_sprite_legacy/scraping/internal/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"
#include "ravik/seller_sprite_legacy/scraping/selector_check.h"
#include "ravik/shared/http_client.h"

namespace ravik::cli {
namespace {

using namespace seller_sprite_legacy::scraping;
using Clock = std::chrono::steady_clock;

const std::string kSiteGroup = "站点";
const std::string kSelectorGroup = "页面元素";
constexpr const char* kOriginVariable = "RAVIK_SELLERSPRITE_ORIGIN";
constexpr std::chrono::seconds kReachTimeout{10};
// A status from this one on means the site is there but not working.
constexpr long kServerErrorStatus = 500;

CheckLine check_origin(std::optional<std::string>& origin) {
  CheckLine line{.group = kSiteGroup, .name = "站点地址"};
  try {
    origin = sellersprite_origin();
  } catch (...) {
    line.status = CheckStatus::failed;
    line.detail = failure_detail(std::current_exception());
    return line;
  }
  const bool overridden = environment::variable(kOriginVariable).has_value();
  line.status = CheckStatus::ok;
  line.detail = *origin + (overridden ? "（由 " + std::string(kOriginVariable) + " 指定）" : "（默认）");
  line.facts = Json{{"origin", *origin}, {"overridden", overridden}};
  return line;
}

CheckLine check_reachable(const std::optional<std::string>& origin) {
  CheckLine line{.group = kSiteGroup, .name = "站点连通"};
  if (!origin) {
    line.detail = "站点地址无法使用";
    return line;
  }
  const Clock::time_point start = Clock::now();
  try {
    const shared::HttpResponse response = shared::http_get(*origin + "/", kReachTimeout);
    line.facts = Json{{"http_status", response.status}};
    line.status = response.status < kServerErrorStatus ? CheckStatus::ok : CheckStatus::failed;
    line.detail = "HTTP " + std::to_string(response.status) +
                  (response.status < kServerErrorStatus ? "" : "：站点出错，请稍后再试");
  } catch (...) {
    line.status = CheckStatus::failed;
    line.detail = "无法访问：" + failure_detail(std::current_exception());
  }
  line.elapsed = elapsed_since(start);
  return line;
}

// What one browser visit of the site found.
struct SiteVisit {
  bool logged_in = false;
  std::vector<SelectorFinding> findings;
};

// Opens the keyword-mining page on the collector's profile, runs the login
// test there and, when logged in, the selector check.
SiteVisit visit_site(const SellerSpriteScraper& scraper, const SelectorCheckArgs& check_args) {
  SiteVisit visit;
  run_sync([&](asio::io_context&) {
    return scraper._run_in_page_context([&](playwright::Page page) -> asio::awaitable<Json> {
      co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL(), document_loaded(scraper.timeout_ms));
      co_await page.wait_for_timeout(std::chrono::milliseconds(SellerSpriteScraper::DEFAULT_WAIT_MS));
      visit.logged_in = co_await scraper._detect_logged_in(page);
      if (visit.logged_in) visit.findings = co_await check_page_selectors(scraper, page, check_args);
      co_return Json::object();
    });
  });
  return visit;
}

CheckLine finding_line(const SelectorFinding& finding) {
  CheckLine line{.group = kSelectorGroup,
                 .name = finding.page + " · " + finding.element,
                 .facts = Json{{"page", finding.page},
                               {"element", finding.element},
                               {"selector", finding.selector},
                               {"visible_count", finding.visible_count}}};
  switch (finding.status) {
    case SelectorStatus::found:
      line.status = CheckStatus::ok;
      line.detail = "可见 " + std::to_string(finding.visible_count) + " 个";
      break;
    case SelectorStatus::missing:
      line.status = CheckStatus::failed;
      line.detail = finding.reason + "（" + finding.selector + "）";
      break;
    case SelectorStatus::not_checked:
      line.detail = finding.reason;
      break;
  }
  return line;
}

// Why the browser visit cannot be made, or nothing when it can.
std::optional<std::string> visit_obstacle(const SellerSpriteScraper* scraper, const SiteCheckArgs& args,
                                          const CheckLine& reachable) {
  if (scraper == nullptr) return "CONFIG_DIR 未知";
  if (!args.browser_starts) return "浏览器无法启动";
  if (!args.profile_free) return "浏览器配置目录正被占用";
  if (reachable.status != CheckStatus::ok) return "站点无法访问";
  return std::nullopt;
}

}  // namespace

std::vector<CheckLine> check_site(const SellerSpriteScraper* scraper, const SiteCheckArgs& args) {
  std::vector<CheckLine> lines;
  std::optional<std::string> origin;
  lines.push_back(check_origin(origin));
  lines.push_back(check_reachable(origin));

  CheckLine login{.group = kSiteGroup, .name = "登录状态"};
  CheckLine selectors{.group = kSelectorGroup, .name = "页面元素检查"};
  if (const std::optional<std::string> obstacle = visit_obstacle(scraper, args, lines.back())) {
    login.detail = *obstacle;
    selectors.detail = *obstacle;
    lines.push_back(std::move(login));
    lines.push_back(std::move(selectors));
    return lines;
  }
  const SelectorCheckArgs check_args{.search_keyword = args.search_keyword};
  const Clock::time_point start = Clock::now();
  SiteVisit visit;
  try {
    visit = visit_site(*scraper, check_args);
  } catch (...) {
    login.status = CheckStatus::failed;
    login.detail = "无法打开关键词挖掘页面：" + failure_detail(std::current_exception());
    login.elapsed = elapsed_since(start);
    selectors.detail = "关键词挖掘页面打不开";
    lines.push_back(std::move(login));
    lines.push_back(std::move(selectors));
    return lines;
  }
  login.status = visit.logged_in ? CheckStatus::ok : CheckStatus::failed;
  login.detail = visit.logged_in ? "已登录" : "未登录；请运行 ravik seller-sprite login";
  lines.push_back(std::move(login));
  if (!visit.logged_in) {
    selectors.detail = "未登录，数据页面不显示搜索表单";
    lines.push_back(std::move(selectors));
    return lines;
  }
  for (const SelectorFinding& finding : visit.findings) lines.push_back(finding_line(finding));
  return lines;
}

}  // namespace ravik::cli
