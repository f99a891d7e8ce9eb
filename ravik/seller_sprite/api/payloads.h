// Request bodies and referers of the SellerSprite HTTP API calls the host
// makes. Each builder takes the merged request parameters (a JSON object
// holding at least "market", "month" and "size") and returns the body.
#pragma once

#include <string>

#include "ravik/export/host_export.h"
#include "ravik/json.h"

namespace ravik::seller_sprite::api {

// The SellerSprite web site that the API paths and referers are relative to.
inline constexpr const char* SELLER_SPRITE_ORIGIN = "https://www.sellersprite.com";

// Competitor lookup: market, month, paging and the optional keyword / ASINs.
RAVIK_HOST_EXPORT Json make_competitor_payload(const Json& params);
// Product research: market, month, paging and the optional keyword and category.
RAVIK_HOST_EXPORT Json make_product_research_payload(const Json& params);
// Keyword mining of "keyword".
RAVIK_HOST_EXPORT Json make_keyword_miner_payload(const Json& params);
// Keyword reverse lookup of "asin".
RAVIK_HOST_EXPORT Json make_keyword_reverse_payload(const Json& params);

// The web page a browser would show for this request, as an absolute URL on
// SELLER_SPRITE_ORIGIN with its query values URL-encoded.
RAVIK_HOST_EXPORT std::string build_referer(const Json& payload, const std::string& scenario_id);

}  // namespace ravik::seller_sprite::api
