// Trend details: the historical-trend drawer of the first result rows,
// opened tab by tab, each tab archived with the JSON responses the page
// fetched for it; plus the routines that name rows, tabs and sections.
#include <algorithm>
#include <chrono>
#include <memory>

#include "ravik/seller_sprite_legacy/scraping/archiver.h"
#include "ravik/seller_sprite_legacy/scraping/internal/page_selectors.h"
#include "ravik/seller_sprite_legacy/scraping/internal/unicode_text.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr std::chrono::milliseconds kIconScrollTimeout{10000};
constexpr std::chrono::milliseconds kAfterIconClick{1500};
constexpr std::chrono::milliseconds kTabClickTimeout{10000};
constexpr std::chrono::milliseconds kAfterTabClick{2000};
constexpr std::chrono::milliseconds kDrawerCloseTimeout{10000};
constexpr std::chrono::milliseconds kRowTextTimeout{3000};
constexpr std::size_t kSlugMaxChars = 40;

// "trend_<row, at least two digits>_<keyword slug>_<tab key>".
std::string trend_section_name(int row_number, const std::string& keyword_slug, std::string_view tab_key) {
  std::string number = std::to_string(row_number);
  if (number.size() < 2) number.insert(0, 2 - number.size(), '0');
  return "trend_" + number + "_" + keyword_slug + "_" + std::string(tab_key);
}

// A "response" listener that captures the site's JSON responses into `sink`.
playwright::ResponseListener capture_into(const SellerSpriteScraper& scraper, std::shared_ptr<Json> sink) {
  return playwright::make_response_listener([&scraper, sink](playwright::Response response) {
    return scraper._capture_sellersprite_json(std::move(response), sink);
  });
}

std::vector<LabelEntry> all_trend_tabs() {
  return {SellerSpriteScraper::TREND_TABS.begin(), SellerSpriteScraper::TREND_TABS.end()};
}

}  // namespace

asio::awaitable<Json> SellerSpriteScraper::_collect_trend_details(playwright::Page page,
                                                                  TrendDetailsArgs args) const {
  const SellerSpriteCollectOptions& options = args.options.get();
  const SellerSpriteArchiver archiver(args.run_dir.get());
  Json files = Json::object();
  Json trend_details = Json::array();
  const std::vector<LabelEntry> tab_items = _selected_trend_tabs(options.trend_tabs);
  const std::vector<std::string> keyword_candidates = args.keywords.value_or(std::vector<std::string>{});

  const playwright::Locator icons = page.locator(kTrendIconSelector);
  const int icon_count = std::min(co_await icons.count(), options.trend_limit);
  for (int index = 0; index < icon_count; ++index) {
    const playwright::Locator icon = icons.nth(index);
    // Rows and payload keywords are paired by position only.
    std::string keyword;
    if (static_cast<std::size_t>(index) < keyword_candidates.size()) {
      keyword = keyword_candidates[static_cast<std::size_t>(index)];
    } else {
      keyword = co_await _keyword_from_trend_icon(icon, index);
    }
    _report_progress({.stage = ProgressStage::trend_row, .detail = keyword, .row = index + 1, .row_count = icon_count});

    // The responses the page fetches while the drawer opens.
    auto open_responses = std::make_shared<Json>(Json::array());
    {
      const playwright::ScopedResponseListener capturing(page, capture_into(*this, open_responses));
      co_await icon.scroll_into_view_if_needed({.timeout = kIconScrollTimeout});
      co_await icon.click();
      co_await page.wait_for_timeout(kAfterIconClick);
    }

    const std::string keyword_slug = _slug(keyword);
    Json keyword_tabs = Json::array();
    for (std::size_t tab_index = 0; tab_index < tab_items.size(); ++tab_index) {
      const std::string tab_label(tab_items[tab_index].label);
      _report_progress({.stage = ProgressStage::trend_tab, .detail = keyword, .row = index + 1, .row_count = icon_count,
                        .tab = static_cast<int>(tab_index) + 1, .tab_count = static_cast<int>(tab_items.size()),
                        .tab_label = tab_label});
      // The drawer's opening responses count once, with the first tab visited.
      auto responses = std::make_shared<Json>(tab_index == 0 ? *open_responses : Json::array());
      {
        const playwright::ScopedResponseListener capturing(page, capture_into(*this, responses));
        const playwright::FilterOptions with_label{.has_text = tab_label};
        const playwright::Locator tab = page.locator(kTrendTabSelector).filter(with_label).first();
        co_await tab.click({.timeout = kTabClickTimeout});
        co_await page.wait_for_timeout(kAfterTabClick);
      }

      const std::string section = trend_section_name(index + 1, keyword_slug, tab_items[tab_index].key);
      const playwright::Locator trend_container = page.locator(TREND_ARCHIVE_SELECTOR).first();
      const SellerSpriteArchiver::SectionArgs archive_section{.section = section};
      files.update(co_await archiver.archive_locator(trend_container, archive_section));
      const std::string response_path =
          archiver
              .save_json({.section = section,
                          .filename = "responses.json",
                          .payload = Json{{"keyword", keyword}, {"tab", tab_label}, {"responses", *responses}}})
              .string();
      files[section + "_responses"] = response_path;
      keyword_tabs.push_back(Json{{"tab", tab_label},
                                  {"section", section},
                                  {"response_count", responses->size()},
                                  {"response_path", response_path}});
    }
    trend_details.push_back(Json{{"keyword", keyword}, {"tabs", std::move(keyword_tabs)}});

    const playwright::Locator drawer = page.locator(TREND_ARCHIVE_SELECTOR).first();
    co_await drawer.locator(kCloseButtonSelector).first().click({.timeout = kDrawerCloseTimeout});
    const playwright::WaitForOptions until_hidden{.state = "hidden", .timeout = kDrawerCloseTimeout};
    co_await drawer.wait_for(until_hidden);
  }
  co_return Json{{"trend_details", std::move(trend_details)}, {"files", std::move(files)}};
}

std::vector<std::string> SellerSpriteScraper::_keywords_from_payload(const Json& payload) {
  if (!payload.is_object()) return {};
  const auto data = payload.find("data");
  if (data == payload.end() || !data->is_object()) return {};
  const auto items = data->find("items");
  if (items == data->end() || !items->is_array()) return {};

  std::vector<std::string> keywords;
  for (const Json& item : *items) {
    if (!item.is_object()) continue;
    const Json value = non_empty_or(item, "keyword", item.value("keywords", Json(nullptr)));
    if (!is_empty_value(value)) keywords.push_back(text_form(value));
  }
  return keywords;
}

std::vector<LabelEntry> SellerSpriteScraper::_selected_trend_tabs(std::string_view trend_tabs) {
  if (trend_tabs == "all") return all_trend_tabs();
  std::vector<LabelEntry> selected;
  std::size_t piece_start = 0;
  while (piece_start <= trend_tabs.size()) {
    std::size_t comma = trend_tabs.find(',', piece_start);
    if (comma == std::string_view::npos) comma = trend_tabs.size();
    const std::string key = unicode_text::trim(trend_tabs.substr(piece_start, comma - piece_start));
    const auto found = std::find_if(TREND_TABS.begin(), TREND_TABS.end(),
                                    [&key](const LabelEntry& entry) { return entry.key == key; });
    if (found != TREND_TABS.end()) selected.push_back(*found);
    piece_start = comma + 1;
  }
  return selected.empty() ? all_trend_tabs() : selected;
}

asio::awaitable<std::string> SellerSpriteScraper::_keyword_from_trend_icon(playwright::Locator icon,
                                                                           int index) const {
  std::string fallback = "keyword_" + std::to_string(index + 1);
  std::string row_text;
  try {
    row_text = co_await icon.locator(kRowSelector).inner_text({.timeout = kRowTextTimeout});
  } catch (const std::exception&) {
    co_return fallback;
  }
  for (const std::string& line : unicode_text::split_lines(row_text)) {
    std::string text = unicode_text::trim(line);
    if (!text.empty() && !unicode_text::is_all_digits(text) && text != "AC") co_return text;
  }
  co_return fallback;
}

std::string SellerSpriteScraper::_slug(std::string_view value) { return unicode_text::slug(value, kSlugMaxChars); }

}  // namespace ravik::seller_sprite_legacy::scraping
