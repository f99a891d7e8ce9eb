// The JSON payloads of the stand-in site's background calls. Every figure is
// derived deterministically from the search, so the same search always gives
// the same payload.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ravik/json.h"

namespace standin {

// What a search page asks for: the form values of one API call.
struct Search {
  std::string site;     // marketplace code
  std::string period;   // period code
  std::string subject;  // the keyword (mining) or the ASIN (reverse)
  bool reverse = false;
};

// The result keywords of a search, `rows` of them (clamped to 0..500).
std::vector<std::string> result_keywords(const Search& search, int rows);

// The keyword list: {"code": "OK", "data": {"total", "items": [...]}}; one
// item per result keyword, the first `payload_keywords` (all when absent)
// carrying the text under "keyword" ("keywords" on the reverse page), the
// others only under "term".
ravik::Json keyword_list_payload(const Search& search, int rows, std::optional<int> payload_keywords);
// The most frequent word groups of `phrase_count` words among the result keywords.
ravik::Json frequency_payload(const Search& search, int rows, int phrase_count);
// Twelve months of search volume of the reverse page's product.
ravik::Json monthly_payload(const Search& search);
// Summary figures of the reverse page's keyword list.
ravik::Json stats_payload(const Search& search, int rows);
// The chart data of one trend drawer tab for one keyword.
ravik::Json trend_payload(std::string_view tab, std::string_view keyword);

// `payload` as JSON text of at least `min_bytes`, padded inside its "data"
// object so that it stays a valid payload of the same shape.
std::string padded_body(ravik::Json payload, std::size_t min_bytes);

}  // namespace standin
