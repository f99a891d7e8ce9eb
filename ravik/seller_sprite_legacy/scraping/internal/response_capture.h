// Pieces of response capture shared by the collection flows: the response
// listener that feeds a flow's recorder, and the records of sections whose
// payload never arrived.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "playwright/page.h"
#include "ravik/export/scraper_export.h"
#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/scraping/api_recorder.h"

namespace ravik::seller_sprite_legacy::scraping {

// One section and the URL keyword of the background call that carries it.
struct SectionKeyword {
  std::string section;
  std::string url_keyword;
};

// A "response" listener that offers every response to `recorder` once per
// pair, in the order given, awaiting each capture in turn. A failing capture
// ends that response's handling.
RAVIK_SCRAPER_EXPORT playwright::ResponseListener make_section_listener(
    std::shared_ptr<SellerSpriteApiRecorder> recorder, std::vector<SectionKeyword> pairs);

// {"code": "SELLER_SPRITE_RESPONSE_MISSING", "message": "<section> 响应未捕获"}.
RAVIK_SCRAPER_EXPORT Json missing_section_error(std::string_view section);

// The sections of `required` whose payload in `recorder` is empty, in order,
// as a JSON list of names.
RAVIK_SCRAPER_EXPORT Json missing_sections(const SellerSpriteApiRecorder& recorder,
                                           const std::vector<std::string>& required);

// One missing-section error record per name of `missing` (a JSON list).
RAVIK_SCRAPER_EXPORT Json missing_section_errors(const Json& missing);

}  // namespace ravik::seller_sprite_legacy::scraping
