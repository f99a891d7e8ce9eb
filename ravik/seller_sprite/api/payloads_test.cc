#include "ravik/seller_sprite/api/payloads.h"

#include <gtest/gtest.h>

namespace ravik::seller_sprite::api {
namespace {

TEST(RefererTest, QueryValuesAreUrlEncoded) {
  const Json payload = {{"keyword", "phone case & 手机壳"}, {"market", "us"}, {"asin", ""}};
  EXPECT_EQ(build_referer(payload, "keyword-miner"),
            "https://www.sellersprite.com/v3/keyword-miner?keyword=phone%20case%20%26%20%E6%89%8B%E6%9C%BA%E5%A3%B3"
            "&market=us");
  EXPECT_EQ(build_referer(Json::object(), "a/b?c"), "https://www.sellersprite.com/v3/a%2Fb%3Fc");
}

TEST(PayloadBuilderTest, BodiesCarryTheSubjectAndCommonFields) {
  const Json merged = {{"asin", "b0test1234"}, {"site", "jp"}, {"market", "jp"}, {"period", "30d"},
                       {"month", "30d"},       {"size", 50},    {"pageSize", 50}};
  EXPECT_EQ(make_keyword_reverse_payload(merged).dump(),
            R"({"asin":"B0TEST1234","market":"JP","month":"30d","page":1,"size":50})");
  EXPECT_EQ(make_keyword_miner_payload(Json{{"keyword", 42}, {"market", "us"}}).at("keyword"), "42");
}

}  // namespace
}  // namespace ravik::seller_sprite::api
