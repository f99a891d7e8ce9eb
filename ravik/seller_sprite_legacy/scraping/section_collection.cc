// Collection on the keyword-mining page: one section in a page context of
// its own, one section on an open page, or both sections in one search.
#include "ravik/seller_sprite_legacy/scraping/internal/arguments.h"
#include "ravik/seller_sprite_legacy/scraping/internal/collection_flow.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr const char* kFrequency = "frequency";
constexpr const char* kKeywordMining = "keyword_mining";

}  // namespace

asio::awaitable<Json> SellerSpriteScraper::_collect_section(CollectSectionArgs args) const {
  co_return co_await _run_in_page_context(
      [this, &args](playwright::Page page) { return _collect_section_with_page(page, args); }, args.run_dir.get());
}

asio::awaitable<Json> SellerSpriteScraper::_collect_section_with_page(playwright::Page page,
                                                                      CollectSectionArgs args) const {
  const std::string& section = args.section.get();
  CollectionPlan plan{
      .page_url = KEYWORD_MINING_URL(),
      .pairs = {{section, args.response_url_keyword.get()}},
      .returned = {section},
      .required = {section},
      .archive_section = section,
      .form = SearchForm::keyword,
      .set_phrase_count = section == kFrequency,
      .wait_timeout_ms = std::nullopt,
      .trend_source = section == kKeywordMining ? std::optional<std::string>(section) : std::nullopt,
  };
  co_return co_await run_collection(*this, page, std::move(plan), args.options, args.run_dir, std::nullopt);
}

asio::awaitable<Json> SellerSpriteScraper::_collect_all_sections_with_page(playwright::Page page,
                                                                           PageCollectArgs args) const {
  check_optional_account(args.account);
  CollectionPlan plan{
      .page_url = KEYWORD_MINING_URL(),
      .pairs = {{kFrequency, "frequency"}, {kKeywordMining, "keyword"}},
      .returned = {kFrequency, kKeywordMining},
      .required = {kFrequency, kKeywordMining},
      .archive_section = "collect",
      .form = SearchForm::keyword,
      .set_phrase_count = true,
      .wait_timeout_ms = std::nullopt,
      .trend_source = kKeywordMining,
  };
  co_return co_await run_collection(*this, page, std::move(plan), args.options, args.run_dir, args.account);
}

}  // namespace ravik::seller_sprite_legacy::scraping
