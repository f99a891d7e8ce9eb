#include "ravik/seller_sprite_legacy/scraping/web_origin.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr std::string_view kDefaultOrigin = "https://www.sellersprite.com";

std::string lower_ascii(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lowered;
}

std::string origin_from_environment() {
  const char* configured = std::getenv("RAVIK_SELLERSPRITE_ORIGIN");
  std::string origin = configured != nullptr && *configured != '\0' ? configured : std::string(kDefaultOrigin);
  while (!origin.empty() && origin.back() == '/') origin.pop_back();
  return origin;
}

// "scheme://host[:port]/..." -> "host[:port]", lower case.
std::string authority_of(std::string_view url) {
  if (const auto scheme_end = url.find("://"); scheme_end != std::string_view::npos) {
    url.remove_prefix(scheme_end + 3);
  }
  return lower_ascii(url.substr(0, url.find_first_of("/?#")));
}

// The origin's authority without a leading "www.".
std::string domain_of(std::string_view origin) {
  std::string domain = authority_of(origin);
  if (domain.starts_with("www.")) domain.erase(0, 4);
  return domain;
}

}  // namespace

const std::string& sellersprite_origin() {
  static const std::string origin = origin_from_environment();
  return origin;
}

const std::string& sellersprite_domain() {
  static const std::string domain = domain_of(sellersprite_origin());
  return domain;
}

bool is_sellersprite_url(std::string_view url) {
  return lower_ascii(url).find(sellersprite_domain()) != std::string::npos;
}

bool is_sellersprite_host(std::string_view url) {
  const std::string authority = authority_of(url);
  const std::string& domain = sellersprite_domain();
  return authority == domain || authority.ends_with("." + domain);
}

}  // namespace ravik::seller_sprite_legacy::scraping
