#include "ravik/seller_sprite/api/scenarios.h"

#include <stdexcept>

#include "ravik/seller_sprite/api/payloads.h"
#include "ravik/seller_sprite/domain/exceptions.h"

namespace ravik::seller_sprite::api {
namespace {

using domain::SellerSpriteConfigError;

const char* const KEYWORD_REVERSE_ID = "keyword-reverse";

void require_object(const Json& value, const char* what) {
  if (!value.is_object()) throw std::invalid_argument(std::string(what) + " must be a JSON object");
}

ScenarioRegistry build_registry() {
  ScenarioRegistry registry;
  auto add = [&registry](SellerSpriteScenario::Fields fields) {
    SellerSpriteScenario scenario(std::move(fields));
    const std::string id = scenario.scenario_id();
    registry.emplace(id, std::move(scenario));
  };
  add({.scenario_id = "competitor-lookup",
       .title = "竞品查询",
       .endpoint = "/v3/api/competing-lookup",
       .required_params = std::vector<std::string>{},
       .payload_builder = &make_competitor_payload});
  add({.scenario_id = "product-research",
       .title = "选竞品",
       .endpoint = "/v3/api/product-research",
       .required_params = std::vector<std::string>{},
       .payload_builder = &make_product_research_payload});
  add({.scenario_id = "keyword-miner",
       .title = "关键词挖掘",
       .endpoint = "/v3/api/keyword-miner",
       .required_params = std::vector<std::string>{"keyword"},
       .payload_builder = &make_keyword_miner_payload,
       .high_frequency_endpoint = "/v3/api/keyword-miner/high/frequency-new"});
  add({.scenario_id = KEYWORD_REVERSE_ID,
       .title = "关键词反查",
       .endpoint = "/v3/api/relation/reversing",
       .required_params = std::vector<std::string>{"asin"},
       .payload_builder = &make_keyword_reverse_payload,
       .high_frequency_endpoint = "/v3/api/relation/ta/high-frequency-words-new"});
  return registry;
}

}  // namespace

SellerSpriteScenario::SellerSpriteScenario(Fields fields)
    : scenario_id_(std::move(fields.scenario_id).get()),
      title_(std::move(fields.title).get()),
      endpoint_(std::move(fields.endpoint).get()),
      required_params_(std::move(fields.required_params).get()),
      payload_builder_(fields.payload_builder.get()),
      high_frequency_endpoint_(std::move(fields.high_frequency_endpoint)) {}

Json SellerSpriteScenario::to_public_dict() const {
  return Json{{"scenario_id", scenario_id_},
              {"title", title_},
              {"endpoint", endpoint_},
              {"required_params", required_params_},
              {"high_frequency_endpoint",
               high_frequency_endpoint_ ? Json(*high_frequency_endpoint_) : Json(nullptr)}};
}

Json SellerSpriteScenario::build_payload(const BuildPayloadArgs& args) const {
  const Json& params = args.params;
  require_object(params, "params");
  Json merged = params;
  merged["site"] = args.site.get();
  merged["market"] = non_empty_or(params, "market", args.site.get());
  merged["period"] = args.period.get();
  merged["month"] = non_empty_or(params, "month", args.period.get());
  merged["size"] = non_empty_or(params, "size", args.page_size.get());
  merged["pageSize"] = non_empty_or(params, "pageSize", args.page_size.get());
  _validate_required(merged);
  return payload_builder_(merged);
}

void SellerSpriteScenario::_validate_required(const Json& payload) const {
  std::string missing;
  for (const std::string& key : required_params_) {
    if (!is_empty_entry(payload, key)) continue;
    if (!missing.empty()) missing += ", ";
    missing += key;
  }
  if (!missing.empty()) throw SellerSpriteConfigError("场景 " + scenario_id_ + " 缺少参数：" + missing);
}

std::string SellerSpriteScenario::build_referer(const Json& payload) const {
  require_object(payload, "payload");
  return api::build_referer(payload, scenario_id_);
}

std::string SellerSpriteScenario::_with_market_query(const std::string& path, const Json& payload) const {
  require_object(payload, "payload");
  if (scenario_id_ != KEYWORD_REVERSE_ID) return path;
  return path + "?market=" + text_form(non_empty_or(payload, "market", "JP"));
}

std::string SellerSpriteScenario::endpoint_for(const Json& payload) const {
  return _with_market_query(endpoint_, payload);
}

std::optional<std::string> SellerSpriteScenario::high_frequency_endpoint_for(const Json& payload) const {
  require_object(payload, "payload");
  if (!high_frequency_endpoint_ || high_frequency_endpoint_->empty()) return std::nullopt;
  return _with_market_query(*high_frequency_endpoint_, payload);
}

const ScenarioRegistry& SCENARIOS() {
  static const ScenarioRegistry registry = build_registry();
  return registry;
}

std::vector<Json> list_scenarios() {
  std::vector<Json> scenarios;
  for (const auto& [id, scenario] : SCENARIOS()) scenarios.push_back(scenario.to_public_dict());
  return scenarios;
}

const SellerSpriteScenario& get_scenario(const std::string& scenario_id) {
  const ScenarioRegistry& registry = SCENARIOS();
  const auto found = registry.find(scenario_id);
  if (found == registry.end()) throw SellerSpriteConfigError("未知卖家精灵场景：" + scenario_id);
  return found->second;
}

}  // namespace ravik::seller_sprite::api

std::size_t std::hash<ravik::seller_sprite::api::SellerSpriteScenario>::operator()(
    const ravik::seller_sprite::api::SellerSpriteScenario& scenario) const noexcept {
  std::size_t seed = 0;
  auto mix = [&seed](std::size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
  const std::hash<std::string> text_hash;
  mix(text_hash(scenario.scenario_id()));
  mix(text_hash(scenario.title()));
  mix(text_hash(scenario.endpoint()));
  for (const std::string& param : scenario.required_params()) mix(text_hash(param));
  mix(std::hash<ravik::seller_sprite::api::PayloadBuilder>{}(scenario.payload_builder()));
  mix(std::hash<std::optional<std::string>>{}(scenario.high_frequency_endpoint()));
  return seed;
}
