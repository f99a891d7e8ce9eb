#include "ravik/amazon_rufus/services/json_document.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ravik::amazon_rufus::services {
namespace {

TEST(JsonDocumentTest, StringsAreDecodedInPlaceWithoutDisturbingLaterValues) {
  const JsonDocument document =
      JsonDocument::parse(R"({"a": "x\n\"\u00e9\ud83d\ude00\/y中", "b": "中文", "c": ["\t", "plain"]})");
  const JsonNode root = document.root();
  EXPECT_EQ(root.find("a")->string(), "x\n\"\xC3\xA9\xF0\x9F\x98\x80/y中");
  EXPECT_EQ(root.find("b")->string(), "中文");
  EXPECT_EQ(root.find("c")->to_json(), Json::parse(R"(["\t", "plain"])"));
}

TEST(JsonDocumentTest, RepeatedKeysBehaveLikeADictionary) {
  const JsonDocument document = JsonDocument::parse(R"({"k": 1, "other": [1, {"k": 5}], "k": 2})");
  EXPECT_EQ(document.root().find("k")->integer(), 2);
  EXPECT_EQ(document.root().to_json().dump(), R"({"k":2,"other":[1,{"k":5}]})");
  std::vector<std::string> keys;
  for (const JsonNode key : document.root().children()) keys.emplace_back(key.string());
  EXPECT_EQ(keys, (std::vector<std::string>{"k", "other", "k"}));
}

TEST(JsonDocumentTest, NumbersKeepTheirKind) {
  const JsonDocument document =
      JsonDocument::parse("[9223372036854775807, -9223372036854775808, 18446744073709551615, "
                          "18446744073709551616, -0, 2.5e1, 1e400, -1e400, 1e-400]");
  std::vector<JsonNode> n;
  for (const JsonNode node : document.root().children()) n.push_back(node);
  ASSERT_EQ(n.size(), 9u);
  EXPECT_EQ(n[0].integer(), INT64_MAX);
  EXPECT_EQ(n[1].integer(), INT64_MIN);
  EXPECT_EQ(n[2].kind(), JsonKind::unsigned_integer);
  EXPECT_EQ(n[3].kind(), JsonKind::floating);
  EXPECT_EQ(n[4].kind(), JsonKind::integer);
  EXPECT_EQ(n[5].floating(), 25.0);
  EXPECT_EQ(n[6].floating(), HUGE_VAL);
  EXPECT_EQ(n[7].floating(), -HUGE_VAL);
  EXPECT_EQ(n[8].floating(), 0.0);
}

TEST(JsonDocumentTest, MalformedTextIsASyntaxError) {
  for (const char* text : {"", " ", "{", R"({"a": 1,})", "[1,]", "01", "[1] x", "NaN", "[Infinity]",
                           R"("\ud800")", R"("\udc00x")", "\"a\tb\"", R"("\x")", R"("\u12")", "\"abc",
                           "\xEF\xBB\xBF{}", "{\"a\" 1}", "[\"中\" 中]", "tru", "-", "1.", "1e"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(JsonDocument::parse(text), JsonSyntaxError);
  }
}

TEST(JsonDocumentTest, TextThatIsNotUtf8IsAnEncodingError) {
  for (const char* text : {"[\"\xFF\"]", "[\"a\\n\xC0\x80\"]", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"",
                           "\"\xE4\xB8\"", "[1,,] \xFF", "{\xE9}",
                           // inside runs of CJK text, where sequences are checked two at a time
                           "\"中\xED\xA0\x80中文字\"", "\"中\xE0\x9F\xBF中文字\"", "\"中\xE4\xB8中文字\"",
                           "\"中文\xE4\xB8\xC0文字\""}) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    EXPECT_THROW(JsonDocument::parse(text), Utf8Error);
  }
  EXPECT_TRUE(is_valid_utf8("plain ascii text, long enough for blocks: 中文 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(is_valid_utf8("0123456789abcdef\x80"));
}

TEST(JsonDocumentTest, NestingIsBounded) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_NO_THROW(JsonDocument::parse(nested(JsonDocument::MAX_DEPTH)));
  EXPECT_THROW(JsonDocument::parse(nested(JsonDocument::MAX_DEPTH + 1)), std::length_error);
}

}  // namespace
}  // namespace ravik::amazon_rufus::services
