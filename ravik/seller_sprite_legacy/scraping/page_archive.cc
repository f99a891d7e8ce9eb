// The page archive: a snapshot of one address as the collector's profile sees it.
#include "ravik/seller_sprite_legacy/scraping/archiver.h"
#include "ravik/seller_sprite_legacy/scraping/internal/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {

asio::awaitable<Json> SellerSpriteScraper::archive_url_async(RunArgs args) const {
  co_return co_await _run_in_page_context([this, &args](playwright::Page page) -> asio::awaitable<Json> {
    const SellerSpriteArchiver archiver(args.run_dir.get());
    _report_progress({.stage = ProgressStage::opening_page, .detail = args.options->url});
    co_await page.goto_(args.options->url, document_loaded(timeout_ms));
    co_await page.wait_for_timeout(std::chrono::milliseconds(DEFAULT_WAIT_MS));
    const bool captcha_required = co_await captcha_detector.detect(page);
    const SellerSpriteArchiver::SectionArgs archive_section{.section = "archive"};
    _report_progress({.stage = ProgressStage::archiving, .detail = "archive"});
    Json files = co_await archiver.archive_page(page, archive_section);
    Json result = Json::object();
    result["files"] = std::move(files);
    result["captcha_required"] = captcha_required;
    result["missing_sections"] = Json::array();
    result["errors"] = Json::array();
    co_return result;
  }, args.run_dir.get());
}

}  // namespace ravik::seller_sprite_legacy::scraping
