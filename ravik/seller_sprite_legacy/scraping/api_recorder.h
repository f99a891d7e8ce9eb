// SellerSpriteApiRecorder: keeps the JSON payloads of the site's own
// background calls, one per section, while a collection flow listens to the
// page's responses.
//
// A response belongs to the section whose URL keyword it contains; when it
// contains several known keywords (the frequency call
// "/v3/api/keyword-miner/high/frequency-new" contains both "frequency" and
// "keyword"), the longest one wins. Each response's body is therefore read at
// most once even though the flow offers it once per section.
//
// A success (2xx) answer is never replaced by a later error answer of the
// same section: the site's error bodies are JSON too, and one that arrives
// after the data (a repeated call that was refused, say) would otherwise be
// returned as the section's data.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "playwright/response.h"
#include "ravik/export/browser_host_export.h"
#include "ravik/json.h"
#include "ravik/required.h"

namespace ravik::seller_sprite_legacy::scraping {

class RAVIK_BROWSER_HOST_EXPORT SellerSpriteApiRecorder {
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
  // holds `url_keyword` and no longer known keyword, as keep_payload says.
  // A body that is gone or not JSON is skipped.
  asio::awaitable<void> capture_json_response(playwright::Response response, CaptureArgs args);

  // Keeps `payload`, answered with HTTP `status`, as the payload of
  // `section`: a success (2xx) replaces whatever was kept; any other answer
  // is kept only while the section holds no success.
  void keep_payload(const std::string& section, int status, Json payload);

  // The payload of `section`, or null while nothing was captured.
  Json get_payload(std::string_view section) const;

  // Writes each captured section to `directory`/<section>.json (UTF-8,
  // indented) and answers {section: path text} in capture order. Writes
  // nothing, not even the directory, when nothing was captured.
  Json save_all(const std::filesystem::path& directory) const;

 private:
  Json payloads_ = Json::object();
  std::set<std::string, std::less<>> succeeded_;  // sections whose payload came with a 2xx status
};

}  // namespace ravik::seller_sprite_legacy::scraping
