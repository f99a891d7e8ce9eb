#include "ravik/seller_sprite_legacy/scraping/api_recorder.h"

#include "playwright/error.h"
#include "ravik/seller_sprite_legacy/scraping/internal/run_files.h"
#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

bool is_background_call(const playwright::Response& response) {
  const std::string& type = response.resource_type();
  return (type == "xhr" || type == "fetch") && is_sellersprite_host(response.url());
}

// True when no known keyword longer than `url_keyword` (or as long and
// ordered before it) also occurs in `url`.
bool keyword_wins(std::string_view url, std::string_view url_keyword) {
  for (const auto& [section, known] : SellerSpriteApiRecorder::KNOWN_URL_KEYWORDS()) {
    const bool more_specific =
        known.size() > url_keyword.size() || (known.size() == url_keyword.size() && known < url_keyword);
    if (more_specific && url.find(known) != std::string_view::npos) return false;
  }
  return true;
}

}  // namespace

const std::map<std::string, std::string, std::less<>>& SellerSpriteApiRecorder::KNOWN_URL_KEYWORDS() {
  static const std::map<std::string, std::string, std::less<>> keywords{
      {"frequency", "frequency"},
      {"keyword_mining", "keyword"},
      {"keyword_reverse", "relation/reversing"},
      {"reverse_frequency", "high-frequency-words-new"},
      {"reverse_monthly", "relation/ta/monthly"},
      {"reverse_stats", "relation/stat-keywords"},
  };
  return keywords;
}

asio::awaitable<void> SellerSpriteApiRecorder::capture_json_response(playwright::Response response,
                                                                     CaptureArgs args) {
  const std::string& url = response.url();
  const std::string& url_keyword = args.url_keyword.get();
  if (url.find(url_keyword) == std::string::npos || !keyword_wins(url, url_keyword) ||
      !is_background_call(response)) {
    co_return;
  }
  Json payload;
  try {
    payload = co_await response.json();
  } catch (const playwright::Error&) {
    co_return;  // the body is gone or is not JSON: not a payload
  }
  keep_payload(args.section.get(), response.status(), std::move(payload));
}

void SellerSpriteApiRecorder::keep_payload(const std::string& section, int status, Json payload) {
  const bool success = status >= 200 && status < 300;
  if (success) {
    succeeded_.insert(section);
  } else if (succeeded_.contains(section)) {
    return;
  }
  payloads_[section] = std::move(payload);
}

Json SellerSpriteApiRecorder::get_payload(std::string_view section) const {
  const auto found = payloads_.find(section);
  return found == payloads_.end() ? Json() : *found;
}

Json SellerSpriteApiRecorder::save_all(const std::filesystem::path& directory) const {
  Json saved = Json::object();
  if (payloads_.empty()) return saved;
  for (const auto& [section, payload] : payloads_.items()) {
    const std::filesystem::path path = child_path(directory, section + ".json");
    write_file_atomically(path, payload.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
    saved[section] = path.string();
  }
  return saved;
}

}  // namespace ravik::seller_sprite_legacy::scraping
