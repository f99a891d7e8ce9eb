// The SellerSprite HTTP API calls the host can make, each a scenario: its
// path, the parameters it needs and how its request body is assembled.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ravik/export/scenarios_export.h"
#include "ravik/json.h"
#include "ravik/required.h"

namespace ravik::seller_sprite::api {

// Turns merged request parameters into a request body.
using PayloadBuilder = Json (*)(const Json& params);

// Arguments of SellerSpriteScenario::build_payload.
struct BuildPayloadArgs {
  Required<Json> params;        // the caller's parameters, a JSON object; never changed
  Required<std::string> site;   // marketplace code, e.g. "us"
  Required<std::string> period;  // period code, e.g. "30d"
  Required<std::int64_t> page_size;
};

// 单个卖家精灵接口场景定义。
// An immutable scenario record: equal when all fields are equal, hashable.
class RAVIK_SCENARIOS_EXPORT SellerSpriteScenario {
 public:
  // The record's fields, given by name; high_frequency_endpoint may be left out.
  struct Fields {
    Required<std::string> scenario_id;
    Required<std::string> title;
    Required<std::string> endpoint;
    Required<std::vector<std::string>> required_params;
    Required<PayloadBuilder> payload_builder;
    std::optional<std::string> high_frequency_endpoint = std::nullopt;
  };

  explicit SellerSpriteScenario(Fields fields);

  const std::string& scenario_id() const { return scenario_id_; }
  const std::string& title() const { return title_; }
  const std::string& endpoint() const { return endpoint_; }
  const std::vector<std::string>& required_params() const { return required_params_; }
  PayloadBuilder payload_builder() const { return payload_builder_; }
  const std::optional<std::string>& high_frequency_endpoint() const { return high_frequency_endpoint_; }

  bool operator==(const SellerSpriteScenario&) const = default;

  // Every field but the builder, keys in field order; a fresh object.
  [[nodiscard]] Json to_public_dict() const;

  // Merges the parameters with site, period and page size, checks the
  // required ones and returns what the scenario's builder makes of them.
  // Throws SellerSpriteConfigError naming the missing parameters.
  [[nodiscard]] Json build_payload(const BuildPayloadArgs& args) const;

  // The host's referer for this request.
  [[nodiscard]] std::string build_referer(const Json& payload) const;

  // The API path; keyword reverse lookup adds "?market=" (default "JP").
  [[nodiscard]] std::string endpoint_for(const Json& payload) const;

  // The high-frequency-words path with the same market rule, or none.
  [[nodiscard]] std::optional<std::string> high_frequency_endpoint_for(const Json& payload) const;

 private:
  // Throws SellerSpriteConfigError when a required parameter is missing or empty.
  void _validate_required(const Json& payload) const;
  // endpoint_for's rule for a path: the market query for keyword reverse lookup.
  std::string _with_market_query(const std::string& path, const Json& payload) const;

  std::string scenario_id_;
  std::string title_;
  std::string endpoint_;
  std::vector<std::string> required_params_;
  PayloadBuilder payload_builder_;
  std::optional<std::string> high_frequency_endpoint_;
};

// Scenario records keyed by scenario_id, in registry order.
using ScenarioRegistry = nlohmann::ordered_map<std::string, SellerSpriteScenario>;

// The registry, built once on first use and never changed.
RAVIK_SCENARIOS_EXPORT const ScenarioRegistry& SCENARIOS();

// to_public_dict() of every scenario, in registry order.
[[nodiscard]] RAVIK_SCENARIOS_EXPORT std::vector<Json> list_scenarios();

// The scenario with exactly this identifier; throws SellerSpriteConfigError
// "未知卖家精灵场景：<id>" when there is none.
[[nodiscard]] RAVIK_SCENARIOS_EXPORT const SellerSpriteScenario& get_scenario(const std::string& scenario_id);

}  // namespace ravik::seller_sprite::api

template <>
struct RAVIK_SCENARIOS_EXPORT std::hash<ravik::seller_sprite::api::SellerSpriteScenario> {
  std::size_t operator()(const ravik::seller_sprite::api::SellerSpriteScenario& scenario) const noexcept;
};
