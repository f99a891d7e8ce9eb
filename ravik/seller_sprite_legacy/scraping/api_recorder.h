// SellerSpriteApiRecorder: keeps the JSON payloads of the site's own
// background calls, one per section, while a collection flow listens to the
// page's responses.
//
// A response belongs to the section whose URL keyword it contains; when it
// contains several known keywords (the frequency call
// "/v3/api/keyword-miner/high/frequency-new" contains both "frequency" and
// "keyword"), the longest one wins. Each response's body is therefore read at
// most once even though the flow offers it once per section.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "playwright/response.h"
#include "ravik/export/host_export.h"
#include "ravik/json.h"
#include "ravik/required.h"

namespace ravik::seller_sprite_legacy::scraping {

class RAVIK_HOST_EXPORT SellerSpriteApiRecorder {
 public:
  // URL keywords of every section the site's pages feed, so that a response
  // offered for a shorter keyword is left to the section it really belongs to.
  static const std::map<std::string, std::string, std::less<>>& KNOWN_URL_KEYWORDS();

  struct CaptureArgs {
    Required<std::string> section;
    Required<std::string> url_keyword;
  };

  // Keeps `response`'s JSON body as the payload of `section` when the response
  // is a background (XHR/fetch) call to the SellerSprite site whose URL
  // holds `url_keyword` and no longer known keyword. A later match replaces
  // an earlier payload. A body that is gone or not JSON is skipped.
  asio::awaitable<void> capture_json_response(playwright::Response response, CaptureArgs args);

  // The payload of `section`, or null while nothing was captured.
  Json get_payload(std::string_view section) const;

  // Writes each captured section to `directory`/<section>.json (UTF-8,
  // indented) and answers {section: path text} in capture order. Writes
  // nothing, not even the directory, when nothing was captured.
  Json save_all(const std::filesystem::path& directory) const;

 private:
  Json payloads_ = Json::object();
};

}  // namespace ravik::seller_sprite_legacy::scraping
