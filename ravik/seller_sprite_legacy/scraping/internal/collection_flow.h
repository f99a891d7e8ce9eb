// The skeleton shared by the collector's search flows (keyword mining, one
// section or both, and keyword reverse): open the research page with a
// response listener on it, check captcha and login (logging in once with an
// account when one is given), fill the search form, wait for the wanted
// payloads, archive the page, save the captures, walk the trend drawers when
// asked, and answer one result dictionary.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "playwright/page.h"
#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/domain/models.h"
#include "ravik/seller_sprite_legacy/scraping/internal/response_capture.h"

namespace ravik::seller_sprite_legacy::scraping {

class SellerSpriteScraper;

// Which search form a flow fills after the page passed its checks.
enum class SearchForm {
  keyword,          // marketplace, period, keyword
  keyword_reverse,  // marketplace, period, ASIN
};

// What one search flow does, point by point.
struct CollectionPlan {
  std::string page_url;                 // the research page opened
  std::vector<SectionKeyword> pairs;    // offered to the recorder per response, in order
  std::vector<std::string> returned;    // payload entries of the result, in order
  std::vector<std::string> required;    // waited for, and reported when missing
  std::string archive_section;          // section of the page archive and of the saved captures
  SearchForm form = SearchForm::keyword;
  bool set_phrase_count = false;        // set the frequency phrase length after the query
  std::optional<int> wait_timeout_ms;   // payload wait budget; absent: the collector's default
  std::optional<std::string> trend_source;  // section whose keywords feed the trend details; absent: never
};

// Runs `plan` on `page`. A captcha or a missing login answers the blocked
// result (payload entries null, no "trend_details"); otherwise the completed
// result. Automatic login is tried once, only with a non-empty `account`
// dictionary. Browser and collaborator failures are passed on unchanged.
asio::awaitable<Json> run_collection(const SellerSpriteScraper& scraper, playwright::Page page,
                                     CollectionPlan plan, domain::SellerSpriteCollectOptions options,
                                     std::filesystem::path run_dir, std::optional<Json> account);

}  // namespace ravik::seller_sprite_legacy::scraping
