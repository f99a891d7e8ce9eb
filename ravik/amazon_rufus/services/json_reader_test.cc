#include "ravik/amazon_rufus/services/internal/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace ravik::amazon_rufus::services {
namespace {

// Reads `text` (given the padding the reader needs), handing its root to `visit`.
template <typename Visit>
void read(std::string_view text, Visit visit) {
  std::string padded(text);
  padded.append(JsonReader::PADDING, '\0');
  JsonReader reader(std::string_view(padded.data(), text.size()));
  reader.read(visit);
}

Json to_json(std::string_view text) {
  Json value;
  read(text, [&](const JsonNode& root) { value = root.to_json(); });
  return value;
}

TEST(JsonReaderTest, StringsAndKeysAreDecoded) {
  EXPECT_EQ(to_json(R"({"a": "x\n\"\u00e9\ud83d\ude00\/y中", "\u0062": "中文", "c": ["\t", "plain", "\"q\""],
                      "d\"": "e"})"),
            Json::parse(R"({"a": "x\n\"é😀/y中", "b": "中文", "c": ["\t", "plain", "\"q\""], "d\"": "e"})"));
}

TEST(JsonReaderTest, RepeatedKeysAreAllHandedOverAndATreeKeepsTheLastValueInTheFirstPlace) {
  const std::string text = R"({"k": 1, "other": [1, {"k": 5}], "k": 2})";
  std::vector<std::string> keys;
  read(text, [&](const JsonNode& root) {
    root.for_each_field([&](std::string_view key, const JsonNode&) { keys.emplace_back(key); });
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"k", "other", "k"}));
  EXPECT_EQ(to_json(text).dump(), R"({"k":2,"other":[1,{"k":5}]})");
}

TEST(JsonReaderTest, NumbersKeepTheirKind) {
  using Kind = JsonNumber::Kind;
  std::vector<JsonNumber> numbers;  // their text points into the text read, kept apart
  std::vector<std::string> texts;
  read("[9223372036854775807, -9223372036854775808, 18446744073709551615, 18446744073709551616, "
       "-9223372036854775809, -0, 2.5e1, 1E400, -1e400, 1e-400]",
       [&](const JsonNode& root) {
         root.for_each_element([&](const JsonNode& element) {
           numbers.push_back(element.number());
           texts.emplace_back(numbers.back().text);
         });
       });
  ASSERT_EQ(numbers.size(), 10u);
  EXPECT_EQ(numbers[0].integer, INT64_MAX);
  EXPECT_EQ(numbers[1].integer, INT64_MIN);
  EXPECT_EQ(numbers[2].kind, Kind::unsigned_integer);
  EXPECT_EQ(numbers[2].unsigned_integer, UINT64_MAX);
  EXPECT_EQ(numbers[3].kind, Kind::beyond_64_bits);
  EXPECT_EQ(texts[3], "18446744073709551616");
  EXPECT_EQ(numbers[4].kind, Kind::beyond_64_bits);
  EXPECT_EQ(numbers[5].kind, Kind::integer);
  EXPECT_EQ(numbers[6].floating, 25.0);
  EXPECT_EQ(numbers[7].floating, HUGE_VAL);
  EXPECT_EQ(numbers[8].floating, -HUGE_VAL);
  EXPECT_EQ(numbers[9].floating, 0.0);
}

TEST(JsonReaderTest, ATreeRefusesAnIntegerBeyondSixtyFourBitsOnlyAfterReadingTheWholeValue) {
  // The syntax error after the big integer is still found.
  EXPECT_THROW(to_json("[18446744073709551616, tru]"), JsonSyntaxError);
  EXPECT_THROW(to_json("[18446744073709551616, 1]"), std::out_of_range);
}

TEST(JsonReaderTest, MalformedTextIsASyntaxErrorWhereverItIs) {
  for (const char* text : {"", " ", "{", "[", R"({"a": 1,})", "[1,]", "01", "[01]", "[1] x", "{} {}", "[]]", "1 2",
                           "NaN", "[Infinity]", "[-Infinity]", "[1x]", R"(["a"x])", R"("\ud800")", R"("\udc00x")",
                           R"(["\ud800\u0041"])", "\"a\tb\"", R"("\x")", R"("\u12")", "\"abc", "\xEF\xBB\xBF{}",
                           "{\"a\" 1}", "[\"中\" 中]", "tru", "nul", "[nulls]", "-", "1.", "1e", "[.5]", "[+1]",
                           R"({"unread": [1 2]})", R"({"unread": {"a": tru}})", R"({'a': 1})"}) {
    SCOPED_TRACE(text);
    // The visitor reads nothing: what it leaves is checked all the same.
    EXPECT_THROW(read(text, [](const JsonNode&) {}), JsonSyntaxError);
  }
}

TEST(JsonReaderTest, TextThatIsNotUtf8IsAnEncodingErrorEvenAfterASyntaxError) {
  for (const char* text : {"[\"\xFF\"]", "[\"a\\n\xC0\x80\"]", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"",
                           "\"\xE4\xB8\"", "[1,,] \xFF", "{\xE9}", "\"abc \xFF", "[\"a\tb\", \"\xFF\"]",
                           "\"中\xED\xA0\x80中文字\"", "\"中\xE0\x9F\xBF中文字\"", "\"中文\xE4\xB8\xC0文字\""}) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    EXPECT_THROW(read(text, [](const JsonNode&) {}), Utf8Error);
  }
  try {
    read("[\"中文\", \"\xF0\x9F\x98\x80\xC0\x80\"]", [](const JsonNode&) {});
    ADD_FAILURE() << "read text that is not UTF-8";
  } catch (const Utf8Error& error) {
    EXPECT_EQ(error.offset(), 16u);
  }
}

TEST(JsonReaderTest, NestingIsBounded) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_NO_THROW(read(nested(JsonReader::MAX_DEPTH), [](const JsonNode&) {}));
  EXPECT_THROW(read(nested(JsonReader::MAX_DEPTH + 1), [](const JsonNode&) {}), std::length_error);
  EXPECT_THROW(to_json(nested(JsonReader::MAX_DEPTH + 1)), std::length_error);
}

TEST(JsonReaderTest, ReadersOnOneThreadMayOverlap) {
  std::vector<Json> values;
  read(R"([1, {"a": "x"}, 3])", [&](const JsonNode& root) {
    root.for_each_element([&](const JsonNode& element) {
      values.push_back(to_json(R"({"inner": [true]})"));  // a second reader while the first is mid-way
      values.push_back(element.to_json());
    });
  });
  EXPECT_EQ(Json(values), Json::parse(R"([{"inner": [true]}, 1, {"inner": [true]}, {"a": "x"}, {"inner": [true]}, 3])"));
}

}  // namespace
}  // namespace ravik::amazon_rufus::services
