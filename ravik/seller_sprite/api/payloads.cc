#include "ravik/seller_sprite/api/payloads.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace ravik::seller_sprite::api {
namespace {

std::string upper_ascii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
  return text;
}

// Marketplace, month and paging, which every request body carries.
Json common_body(const Json& params) {
  return Json{{"market", upper_ascii(text_form(non_empty_or(params, "market", "us")))},
              {"month", non_empty_or(params, "month", "")},
              {"page", non_empty_or(params, "page", 1)},
              {"size", non_empty_or(params, "size", 50)}};
}

// Copies the non-empty entries among `keys` from `params` into `body`.
void copy_present(const Json& params, std::initializer_list<const char*> keys, Json& body) {
  for (const char* key : keys) {
    if (!is_empty_entry(params, key)) body[key] = params.at(key);
  }
}

// Percent-encodes `text` for use as one query value or path segment.
std::string url_escape(const std::string& text) {
  std::unique_ptr<char, decltype(&curl_free)> escaped(
      curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())), &curl_free);
  if (!escaped) throw std::runtime_error("cannot URL-encode a referer value");
  return escaped.get();
}

std::string page_path(const std::string& scenario_id) {
  if (scenario_id == "competitor-lookup") return "/v3/competitor-lookup";
  if (scenario_id == "product-research") return "/v3/product-research";
  if (scenario_id == "keyword-miner") return "/v3/keyword-miner";
  if (scenario_id == "keyword-reverse") return "/v3/keyword-reverse";
  return "/v3/" + url_escape(scenario_id);
}

}  // namespace

Json make_competitor_payload(const Json& params) {
  Json body = common_body(params);
  copy_present(params, {"keyword", "asins"}, body);
  return body;
}

Json make_product_research_payload(const Json& params) {
  Json body = common_body(params);
  copy_present(params, {"keyword", "nodeIdPath"}, body);
  return body;
}

Json make_keyword_miner_payload(const Json& params) {
  Json body = {{"keyword", text_form(non_empty_or(params, "keyword", ""))}};
  body.update(common_body(params));
  return body;
}

Json make_keyword_reverse_payload(const Json& params) {
  Json body = {{"asin", upper_ascii(text_form(non_empty_or(params, "asin", "")))}};
  body.update(common_body(params));
  return body;
}

std::string build_referer(const Json& payload, const std::string& scenario_id) {
  std::string referer = SELLER_SPRITE_ORIGIN + page_path(scenario_id);
  char separator = '?';
  for (const char* key : {"keyword", "asin", "market"}) {
    if (is_empty_entry(payload, key)) continue;
    referer += separator;
    referer += key;
    referer += '=';
    referer += url_escape(text_form(payload.at(key)));
    separator = '&';
  }
  return referer;
}

}  // namespace ravik::seller_sprite::api
