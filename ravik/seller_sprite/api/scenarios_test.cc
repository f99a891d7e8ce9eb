#include "ravik/seller_sprite/api/scenarios.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "ravik/seller_sprite/domain/exceptions.h"

namespace ravik::seller_sprite::api {
namespace {

using domain::SellerSpriteConfigError;

// A builder that records what it was handed.
Json g_received;
int g_builder_calls = 0;
Json recording_builder(const Json& params) {
  g_received = params;
  ++g_builder_calls;
  return Json{{"built", true}};
}

SellerSpriteScenario recording_scenario(std::vector<std::string> required, std::string id = "keyword-reverse") {
  return SellerSpriteScenario({.scenario_id = std::move(id),
                               .title = "关键词反查",
                               .endpoint = "/v3/api/relation/reversing",
                               .required_params = std::move(required),
                               .payload_builder = &recording_builder});
}

class ScenarioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_received = nullptr;
    g_builder_calls = 0;
  }
};

std::string config_error_message(const std::function<void()>& action) {
  try {
    action();
  } catch (const SellerSpriteConfigError& error) {
    return error.what();
  }
  return "<no SellerSpriteConfigError>";
}

TEST_F(ScenarioTest, LookupIsExactAndCaseSensitive) {
  EXPECT_EQ(get_scenario("keyword-miner").title(), "关键词挖掘");
  EXPECT_EQ(config_error_message([] { (void)get_scenario("Keyword-Miner"); }), "未知卖家精灵场景：Keyword-Miner");
  EXPECT_EQ(config_error_message([] { (void)get_scenario(" keyword-miner"); }), "未知卖家精灵场景： keyword-miner");
}

TEST_F(ScenarioTest, ListKeepsRegistryOrderAndPublicFields) {
  const Json listed = Json(list_scenarios());
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed.dump(),
            R"([{"scenario_id":"competitor-lookup","title":"竞品查询","endpoint":"/v3/api/competing-lookup",)"
            R"("required_params":[],"high_frequency_endpoint":null},)"
            R"({"scenario_id":"product-research","title":"选竞品","endpoint":"/v3/api/product-research",)"
            R"("required_params":[],"high_frequency_endpoint":null},)"
            R"({"scenario_id":"keyword-miner","title":"关键词挖掘","endpoint":"/v3/api/keyword-miner",)"
            R"("required_params":["keyword"],"high_frequency_endpoint":"/v3/api/keyword-miner/high/frequency-new"},)"
            R"({"scenario_id":"keyword-reverse","title":"关键词反查","endpoint":"/v3/api/relation/reversing",)"
            R"("required_params":["asin"],"high_frequency_endpoint":"/v3/api/relation/ta/high-frequency-words-new"}])");
  // The registry's keys are the records' identifiers.
  for (const auto& [id, scenario] : SCENARIOS()) EXPECT_EQ(id, scenario.scenario_id());
}

TEST_F(ScenarioTest, MergeOrderAndArgumentPrecedence) {
  const Json params = {{"asin", "B0TEST1234"}, {"site", "us"}};
  const Json before = params;
  const Json body = recording_scenario({"asin"}).build_payload(
      {.params = params, .site = "jp", .period = "30d", .page_size = 50});
  EXPECT_EQ(body, (Json{{"built", true}}));
  EXPECT_EQ(g_received.dump(),
            R"({"asin":"B0TEST1234","site":"jp","market":"jp","period":"30d","month":"30d","size":50,"pageSize":50})");
  EXPECT_EQ(params, before);
}

TEST_F(ScenarioTest, NonEmptyParamsWinZeroCountsAsEmpty) {
  const Json params = {{"market", "de"}, {"month", "202401"}, {"size", 100}, {"pageSize", 0}, {"extra", "kept"}};
  (void)recording_scenario({}).build_payload({.params = params, .site = "us", .period = "7d", .page_size = 20});
  EXPECT_EQ(g_received.dump(),
            R"({"market":"de","month":"202401","size":100,"pageSize":20,"extra":"kept","site":"us","period":"7d"})");
}

TEST_F(ScenarioTest, MissingOrEmptyRequiredParamsAreNamedInOrder) {
  const SellerSpriteScenario scenario = recording_scenario({"keyword", "asin", "site"});
  const Json params = {{"keyword", ""}, {"asin", nullptr}};
  EXPECT_EQ(config_error_message([&] {
              (void)scenario.build_payload({.params = params, .site = "us", .period = "30d", .page_size = 50});
            }),
            "场景 keyword-reverse 缺少参数：keyword, asin");
  EXPECT_EQ(g_builder_calls, 0);
  EXPECT_EQ(config_error_message([] {
              (void)get_scenario("keyword-miner")
                  .build_payload({.params = Json{{"keyword", ""}}, .site = "us", .period = "30d", .page_size = 50});
            }),
            "场景 keyword-miner 缺少参数：keyword");
}

TEST_F(ScenarioTest, NonObjectArgumentsAreRejected) {
  EXPECT_THROW(recording_scenario({}).build_payload(
                   {.params = Json::array(), .site = "us", .period = "30d", .page_size = 50}),
               std::invalid_argument);
  EXPECT_EQ(g_builder_calls, 0);
  const SellerSpriteScenario& competitor = get_scenario("competitor-lookup");
  EXPECT_THROW(competitor.endpoint_for("us"), std::invalid_argument);
  EXPECT_THROW(competitor.high_frequency_endpoint_for(nullptr), std::invalid_argument);
  EXPECT_THROW(competitor.build_referer(Json::array()), std::invalid_argument);
}

TEST_F(ScenarioTest, ScenariosWithoutRequiredParamsAcceptEmptyParams) {
  for (const char* id : {"competitor-lookup", "product-research"}) {
    SCOPED_TRACE(id);
    const Json body =
        get_scenario(id).build_payload({.params = Json::object(), .site = "us", .period = "30d", .page_size = 50});
    EXPECT_EQ(body.at("market"), "US");
    EXPECT_EQ(body.at("size"), 50);
  }
}

TEST_F(ScenarioTest, EndpointsAndMarketQuery) {
  struct Case {
    const char* id;
    Json payload;
    std::string endpoint;
    std::optional<std::string> high_frequency;
  };
  const Case cases[] = {
      {"keyword-reverse", Json::object(), "/v3/api/relation/reversing?market=JP",
       "/v3/api/relation/ta/high-frequency-words-new?market=JP"},
      {"keyword-reverse", Json{{"market", "us"}}, "/v3/api/relation/reversing?market=us",
       "/v3/api/relation/ta/high-frequency-words-new?market=us"},
      {"keyword-reverse", Json{{"market", 0}}, "/v3/api/relation/reversing?market=JP",
       "/v3/api/relation/ta/high-frequency-words-new?market=JP"},
      {"keyword-reverse", Json{{"market", 7}}, "/v3/api/relation/reversing?market=7",
       "/v3/api/relation/ta/high-frequency-words-new?market=7"},
      {"keyword-miner", Json{{"market", "us"}}, "/v3/api/keyword-miner", "/v3/api/keyword-miner/high/frequency-new"},
      {"competitor-lookup", Json{{"market", "us"}}, "/v3/api/competing-lookup", std::nullopt},
      {"product-research", Json::object(), "/v3/api/product-research", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id) + " " + c.payload.dump());
    const SellerSpriteScenario& scenario = get_scenario(c.id);
    EXPECT_EQ(scenario.endpoint_for(c.payload), c.endpoint);
    EXPECT_EQ(scenario.high_frequency_endpoint_for(c.payload), c.high_frequency);
  }
}

TEST_F(ScenarioTest, EqualRecordsHashAlikeAndServeAsKeys) {
  const SellerSpriteScenario a = recording_scenario({"asin"});
  const SellerSpriteScenario b = recording_scenario({"asin"});
  const SellerSpriteScenario c = recording_scenario({"asin"}, "other");
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<SellerSpriteScenario>{}(a), std::hash<SellerSpriteScenario>{}(b));
  EXPECT_NE(a, c);
  EXPECT_NE(a, get_scenario("keyword-reverse"));  // same fields but another builder
  const std::unordered_set<SellerSpriteScenario> set = {a, b, c};
  EXPECT_EQ(set.size(), 2u);
}

}  // namespace
}  // namespace ravik::seller_sprite::api
