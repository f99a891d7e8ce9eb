// Deterministic payloads of the stand-in site's background calls.
#include "standin/internal/payloads.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <sstream>

namespace standin {
namespace {

constexpr int kMaxRows = 500;
constexpr int kMaxPhraseWords = 5;
constexpr std::size_t kMaxFrequencyItems = 30;

constexpr std::array<std::string_view, 19> kModifiers = {
    "for women", "thick", "non slip", "with strap", "extra large", "travel", "for kids",
    "set",       "cushion", "bag",    "6mm",        "eco friendly", "pink", "black",
    "foldable",  "for men", "pilates", "for home",  "large"};

constexpr std::array<std::string_view, 12> kReverseTerms = {
    "wireless earbuds",       "bluetooth earbuds",   "earbuds wireless bluetooth", "noise cancelling earbuds",
    "wireless headphones",    "sports earbuds",      "earbuds for iphone",         "in ear headphones",
    "waterproof earbuds",     "earbuds with mic",    "running headphones",         "bluetooth headphones"};

// A stable number in [low, high] derived from `seed` and `salt` (FNV-1a).
std::int64_t figure(std::string_view seed, std::string_view salt, std::int64_t low, std::int64_t high) {
  std::uint64_t hash = 1469598103934665603ull;
  for (std::string_view part : {seed, std::string_view("|"), salt}) {
    for (unsigned char c : part) {
      hash ^= c;
      hash *= 1099511628211ull;
    }
  }
  return low + static_cast<std::int64_t>(hash % static_cast<std::uint64_t>(high - low + 1));
}

std::vector<std::string> words_of(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

ravik::Json ok(ravik::Json data) { return ravik::Json{{"code", "OK"}, {"message", "success"}, {"data", std::move(data)}}; }

}  // namespace

std::vector<std::string> result_keywords(const Search& search, int rows) {
  rows = std::clamp(rows, 0, kMaxRows);
  std::vector<std::string> keywords;
  keywords.reserve(static_cast<std::size_t>(rows));
  if (search.reverse) {
    for (int i = 0; i < rows; ++i) {
      const auto term = std::string(kReverseTerms[static_cast<std::size_t>(i) % kReverseTerms.size()]);
      const auto round = static_cast<std::size_t>(i) / kReverseTerms.size();
      keywords.push_back(round == 0 ? term : term + " " + std::string(kModifiers[(round - 1) % kModifiers.size()]));
    }
    return keywords;
  }
  const std::string base = search.subject.empty() ? std::string("yoga mat") : search.subject;
  for (int i = 0; i < rows; ++i) {
    if (i == 0) {
      keywords.push_back(base);
      continue;
    }
    const auto index = static_cast<std::size_t>(i - 1);
    std::string keyword = base + " " + std::string(kModifiers[index % kModifiers.size()]);
    if (index >= kModifiers.size()) keyword += " " + std::to_string(index / kModifiers.size() + 1);
    keywords.push_back(std::move(keyword));
  }
  return keywords;
}

ravik::Json keyword_list_payload(const Search& search, int rows, std::optional<int> payload_keywords) {
  const auto keywords = result_keywords(search, rows);
  const std::string text_key = search.reverse ? "keywords" : "keyword";
  const std::size_t named = payload_keywords ? static_cast<std::size_t>(std::max(0, *payload_keywords)) : keywords.size();
  ravik::Json items = ravik::Json::array();
  for (std::size_t i = 0; i < keywords.size(); ++i) {
    const std::string& keyword = keywords[i];
    ravik::Json item{{"rank", i + 1}};
    item[i < named ? text_key : "term"] = keyword;
    item["searches"] = figure(keyword, "searches", 800, 250000);
    item["purchaseRate"] = static_cast<double>(figure(keyword, "purchase", 5, 300)) / 10.0;
    item["products"] = figure(keyword, "products", 200, 90000);
    item["bid"] = static_cast<double>(figure(keyword, "bid", 30, 420)) / 100.0;
    item["amazonChoice"] = i % 3 == 0;
    if (search.reverse) item["position"] = figure(keyword + search.subject, "position", 1, 60);
    items.push_back(std::move(item));
  }
  return ok(ravik::Json{{"site", search.site},
                        {"period", search.period},
                        {"total", keywords.size()},
                        {"items", std::move(items)}});
}

ravik::Json frequency_payload(const Search& search, int rows, int phrase_count) {
  const int words_per_group = std::clamp(phrase_count, 1, kMaxPhraseWords);
  const auto keywords = result_keywords(search, rows);
  std::map<std::string, int> counts;
  for (const auto& keyword : keywords) {
    const auto words = words_of(keyword);
    for (std::size_t start = 0; start + static_cast<std::size_t>(words_per_group) <= words.size(); ++start) {
      std::string group = words[start];
      for (int k = 1; k < words_per_group; ++k) group += " " + words[start + static_cast<std::size_t>(k)];
      ++counts[group];
    }
  }
  std::vector<std::pair<std::string, int>> ranked(counts.begin(), counts.end());
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (ranked.size() > kMaxFrequencyItems) ranked.resize(kMaxFrequencyItems);
  ravik::Json items = ravik::Json::array();
  for (const auto& [group, count] : ranked) {
    items.push_back(ravik::Json{{"keyword", group},
                                {"frequency", count},
                                {"ratio", keywords.empty() ? 0.0 : static_cast<double>(count) / static_cast<double>(keywords.size())}});
  }
  return ok(ravik::Json{{"phraseCount", phrase_count}, {"total", keywords.size()}, {"items", std::move(items)}});
}

ravik::Json monthly_payload(const Search& search) {
  ravik::Json items = ravik::Json::array();
  for (int month = 1; month <= 12; ++month) {
    const std::string label = "2025-" + std::string(month < 10 ? "0" : "") + std::to_string(month);
    items.push_back(ravik::Json{{"month", label}, {"searches", figure(search.subject, label, 20000, 400000)}});
  }
  return ok(ravik::Json{{"asin", search.subject}, {"items", std::move(items)}});
}

ravik::Json stats_payload(const Search& search, int rows) {
  const auto keywords = result_keywords(search, rows);
  std::int64_t searches = 0;
  for (const auto& keyword : keywords) searches += figure(keyword, "searches", 800, 250000);
  return ok(ravik::Json{{"asin", search.subject},
                        {"keywordCount", keywords.size()},
                        {"acCount", (keywords.size() + 2) / 3},
                        {"totalSearches", searches}});
}

ravik::Json trend_payload(std::string_view tab, std::string_view keyword) {
  ravik::Json series = ravik::Json::array();
  for (int month = 1; month <= 12; ++month) {
    const std::string label = "2025-" + std::string(month < 10 ? "0" : "") + std::to_string(month);
    series.push_back(ravik::Json{{"date", label}, {"value", figure(keyword, std::string(tab) + label, 10, 100)}});
  }
  return ok(ravik::Json{{"keyword", keyword}, {"tab", tab}, {"series", std::move(series)}});
}

std::string padded_body(ravik::Json payload, std::size_t min_bytes) {
  const std::size_t size = payload.dump().size();
  const std::size_t overhead = std::string_view(R"(,"padding":"")").size();
  if (size + overhead < min_bytes) {
    ravik::Json& holder = payload.contains("data") && payload["data"].is_object() ? payload["data"] : payload;
    holder["padding"] = std::string(min_bytes - size - overhead, 'x');
  }
  return payload.dump();
}

}  // namespace standin
