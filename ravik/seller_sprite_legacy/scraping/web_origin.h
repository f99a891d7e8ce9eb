// The SellerSprite web origin that the collector's page addresses live on.
//
// "https://www.sellersprite.com" unless the environment variable
// RAVIK_SELLERSPRITE_ORIGIN names another origin (the local stand-in site
// for tests and the demo). Read once, on first use.
#pragma once

#include <string>
#include <string_view>

#include "ravik/export/host_export.h"

namespace ravik::seller_sprite_legacy::scraping {

// Scheme, host and optional port, without a trailing "/".
RAVIK_HOST_EXPORT const std::string& sellersprite_origin();

// The site's domain name in lower case, as matched against response URLs:
// the origin's host without a leading "www.", with ":port" when the origin
// names a port ("sellersprite.com", "127.0.0.1:8123").
RAVIK_HOST_EXPORT const std::string& sellersprite_domain();

// True when the lower-cased `url` contains `sellersprite_domain()` anywhere.
RAVIK_HOST_EXPORT bool is_sellersprite_url(std::string_view url);

// True when `url`'s host (with its port) is the site's domain or a subdomain
// of it: a request the site's pages made to the site itself.
RAVIK_HOST_EXPORT bool is_sellersprite_host(std::string_view url);

}  // namespace ravik::seller_sprite_legacy::scraping
