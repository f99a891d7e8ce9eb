// Collection on the keyword-reverse page: the keyword list of a product with
// its high-frequency words (both required), monthly figures and keyword
// statistics (both optional).
#include "ravik/seller_sprite_legacy/scraping/internal/arguments.h"
#include "ravik/seller_sprite_legacy/scraping/internal/collection_flow.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

// Budget of the wait for the two required payloads.
constexpr int kReversePayloadBudgetMs = 10000;

}  // namespace

asio::awaitable<Json> SellerSpriteScraper::_collect_keyword_reverse_with_page(playwright::Page page,
                                                                              PageCollectArgs args) const {
  check_optional_account(args.account);
  CollectionPlan plan{
      .page_url = KEYWORD_REVERSE_URL(),
      .pairs = {{"reverse_monthly", "relation/ta/monthly"},
                {"reverse_stats", "relation/stat-keywords"},
                {"keyword_reverse", "relation/reversing"},
                {"reverse_frequency", "high-frequency-words-new"}},
      .returned = {"keyword_reverse", "reverse_frequency", "reverse_monthly", "reverse_stats"},
      .required = {"keyword_reverse", "reverse_frequency"},
      .archive_section = "keyword_reverse",
      .form = SearchForm::keyword_reverse,
      .set_phrase_count = false,
      .wait_timeout_ms = kReversePayloadBudgetMs,
      .trend_source = "keyword_reverse",
  };
  co_return co_await run_collection(*this, page, std::move(plan), args.options, args.run_dir, args.account);
}

}  // namespace ravik::seller_sprite_legacy::scraping
