// Response capture: the flows' response listener, the payload wait, the
// missing-section records and the capture of SellerSprite JSON into a list.
#include "ravik/seller_sprite_legacy/scraping/internal/response_capture.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <utility>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr auto kPayloadPollInterval = std::chrono::milliseconds(200);

// Offers `response` to `recorder` once per pair. Takes its inputs by value:
// it may outlive the listener that started it.
asio::awaitable<void> offer_to_recorder(std::shared_ptr<SellerSpriteApiRecorder> recorder,
                                        std::vector<SectionKeyword> pairs, playwright::Response response) {
  for (const SectionKeyword& pair : pairs) {
    const SellerSpriteApiRecorder::CaptureArgs capture{.section = pair.section, .url_keyword = pair.url_keyword};
    co_await recorder->capture_json_response(response, capture);
  }
}

// The sections of `sections` whose payload `recorder` holds, in that order.
std::vector<std::string> captured_sections(const SellerSpriteApiRecorder& recorder,
                                           const std::vector<std::string>& sections) {
  std::vector<std::string> captured;
  for (const std::string& section : sections) {
    if (!is_empty_value(recorder.get_payload(section))) captured.push_back(section);
  }
  return captured;
}

}  // namespace

playwright::ResponseListener make_section_listener(std::shared_ptr<SellerSpriteApiRecorder> recorder,
                                                   std::vector<SectionKeyword> pairs) {
  return playwright::make_response_listener(
      [recorder = std::move(recorder), pairs = std::move(pairs)](playwright::Response response) {
        return offer_to_recorder(recorder, pairs, std::move(response));
      });
}

Json missing_section_error(std::string_view section) {
  return Json{{"code", "SELLER_SPRITE_RESPONSE_MISSING"}, {"message", std::string(section) + " 响应未捕获"}};
}

Json missing_sections(const SellerSpriteApiRecorder& recorder, const std::vector<std::string>& required) {
  Json missing = Json::array();
  for (const std::string& section : required) {
    if (is_empty_value(recorder.get_payload(section))) missing.push_back(section);
  }
  return missing;
}

Json missing_section_errors(const Json& missing) {
  Json errors = Json::array();
  for (const Json& section : missing) errors.push_back(missing_section_error(section.get<std::string>()));
  return errors;
}

asio::awaitable<void> SellerSpriteScraper::_wait_for_payloads(const SellerSpriteApiRecorder& recorder,
                                                              std::vector<std::string> sections,
                                                              std::optional<int> timeout_ms) const {
  const int budget_ms = timeout_ms.value_or(0) != 0 ? *timeout_ms : DEFAULT_WAIT_MS;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budget_ms);
  asio::steady_timer pause(co_await asio::this_coro::executor);
  std::optional<std::vector<std::string>> reported;  // the arrivals last reported
  for (;;) {
    std::vector<std::string> captured = captured_sections(recorder, sections);
    const bool all_captured = captured.size() == sections.size();
    if (captured != reported) {
      _report_progress({.stage = ProgressStage::waiting_for_responses, .sections_arrived = captured,
                        .sections_awaited = sections});
      reported = std::move(captured);
    }
    if (all_captured || std::chrono::steady_clock::now() >= deadline) break;
    pause.expires_after(kPayloadPollInterval);
    co_await pause.async_wait(asio::use_awaitable);
  }
}

asio::awaitable<void> SellerSpriteScraper::_capture_sellersprite_json(playwright::Response response,
                                                                      std::shared_ptr<Json> responses) const {
  if (!responses || !responses->is_array()) throw std::invalid_argument("responses: expected a list");
  if (!is_sellersprite_url(response.url())) co_return;
  Json payload;
  try {
    payload = co_await response.json();
  } catch (const std::exception&) {
    co_return;  // not JSON, or the body is gone: nothing to record
  }
  responses->push_back(Json{{"url", response.url()}, {"status", response.status()}, {"payload", std::move(payload)}});
}

}  // namespace ravik::seller_sprite_legacy::scraping
