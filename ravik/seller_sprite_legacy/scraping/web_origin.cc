#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include <arpa/inet.h>

#include "ravik/environment.h"
#include "ravik/seller_sprite/domain/exceptions.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using seller_sprite::domain::SellerSpriteConfigError;

constexpr std::string_view kDefaultOrigin = "https://www.sellersprite.com";
constexpr const char* kOriginVariable = "RAVIK_SELLERSPRITE_ORIGIN";

std::string lower_ascii(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lowered;
}

// The host of an authority "host[:port]" or "[v6][:port]".
struct AuthorityHost {
  std::string name;  // lower case, without the brackets of an IPv6 address
  bool ipv6 = false;
};

bool is_port(std::string_view port) {
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) return false;
  const int value = std::stoi(std::string(port));
  return value >= 1 && value <= 65535;
}

// The host of `authority`; nothing when it is not a plain host with an
// optional port (no user, path, query or fragment).
std::optional<AuthorityHost> host_of_authority(std::string_view authority) {
  AuthorityHost host;
  std::string_view rest;
  if (authority.starts_with('[')) {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host.name = lower_ascii(authority.substr(1, close - 1));
    host.ipv6 = true;
    rest = authority.substr(close + 1);
    if (host.name.find_first_not_of("0123456789abcdef:.") != std::string::npos) return std::nullopt;
  } else {
    const auto colon = authority.find(':');
    host.name = lower_ascii(authority.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    if (host.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-_") != std::string::npos) return std::nullopt;
  }
  if (host.name.empty()) return std::nullopt;
  if (!rest.empty() && (!rest.starts_with(':') || !is_port(rest.substr(1)))) return std::nullopt;
  return host;
}

// True for "localhost", an IPv4 address in 127.0.0.0/8 and the IPv6 address ::1.
bool is_loopback(const AuthorityHost& host) {
  if (host.ipv6) {
    in6_addr address{};
    return ::inet_pton(AF_INET6, host.name.c_str(), &address) == 1 && IN6_IS_ADDR_LOOPBACK(&address);
  }
  if (host.name == "localhost") return true;
  in_addr address{};
  return ::inet_pton(AF_INET, host.name.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

// Why `origin` is not accepted, or nothing when it is.
std::optional<std::string> refusal_reason(std::string_view origin) {
  const auto scheme_end = origin.find("://");
  const std::string scheme = lower_ascii(origin.substr(0, scheme_end));
  if (scheme_end == std::string_view::npos || (scheme != "https" && scheme != "http")) {
    return "只接受 https:// 地址（本机调试可用 http://）";
  }
  const std::optional<AuthorityHost> host = host_of_authority(origin.substr(scheme_end + 3));
  if (!host) return "地址应只含协议、主机和可选端口，例如 https://www.sellersprite.com";
  if (scheme == "http" && !is_loopback(*host)) {
    return "http:// 只允许本机地址（127.0.0.0/8、[::1]、localhost），其他主机请用 https://";
  }
  return std::nullopt;
}

std::string origin_from_environment() {
  return accepted_origin(environment::variable(kOriginVariable).value_or(""));
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

std::string accepted_origin(std::string_view configured) {
  std::string origin = configured.empty() ? std::string(kDefaultOrigin) : std::string(configured);
  while (!origin.empty() && origin.back() == '/') origin.pop_back();
  if (const std::optional<std::string> reason = refusal_reason(origin)) {
    throw SellerSpriteConfigError("环境变量 " + std::string(kOriginVariable) + " 的值 \"" + std::string(configured) +
                                  "\" 无法使用：" + *reason);
  }
  return origin;
}

const std::string& sellersprite_origin() {
  // A refused value throws here and is read again on the next call.
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
