// The SellerSprite web origin that the collector's page addresses live on.
//
// "https://www.sellersprite.com" unless the environment variable
// RAVIK_SELLERSPRITE_ORIGIN names another origin (the local stand-in site
// for tests and the demo). Read on first use and kept once it is accepted.
// The automatic login types the account's password into pages of this
// origin, so only https:// origins are accepted, and http:// only for this
// machine (127.0.0.0/8, [::1], localhost).
#pragma once

#include <string>
#include <string_view>

#include "ravik/export/browser_host_export.h"

namespace ravik::seller_sprite_legacy::scraping {

// Scheme, host and optional port, without a trailing "/". Throws
// seller_sprite::domain::SellerSpriteConfigError, naming the variable, when
// RAVIK_SELLERSPRITE_ORIGIN holds an origin that is not accepted.
RAVIK_BROWSER_HOST_EXPORT const std::string& sellersprite_origin();

// `configured` (the variable's value; empty: the default origin) without its
// trailing "/", when it is an accepted origin "scheme://host[:port]" (no user,
// path, query or fragment). Throws SellerSpriteConfigError otherwise.
RAVIK_BROWSER_HOST_EXPORT std::string accepted_origin(std::string_view configured);

// The site's domain name in lower case, as matched against response URLs:
// the origin's host without a leading "www.", with ":port" when the origin
// names a port ("sellersprite.com", "127.0.0.1:8123").
RAVIK_BROWSER_HOST_EXPORT const std::string& sellersprite_domain();

// True when the lower-cased `url` contains `sellersprite_domain()` anywhere.
RAVIK_BROWSER_HOST_EXPORT bool is_sellersprite_url(std::string_view url);

// True when `url`'s host (with its port) is the site's domain or a subdomain
// of it: a request the site's pages made to the site itself.
RAVIK_BROWSER_HOST_EXPORT bool is_sellersprite_host(std::string_view url);

}  // namespace ravik::seller_sprite_legacy::scraping
