// A network response seen by a page, as Playwright reports it.
#pragma once

#include <memory>
#include <string>

#include <asio/awaitable.hpp>
#include <nlohmann/json.hpp>

#include "ravik/export/playwright_export.h"

namespace playwright {

namespace detail {
class ResponseImpl;
}

class RAVIK_PLAYWRIGHT_EXPORT Response {
 public:
  explicit Response(std::shared_ptr<detail::ResponseImpl> impl);

  [[nodiscard]] const std::string& url() const;
  [[nodiscard]] int status() const;
  // The resource type of the request behind it: "document", "xhr", "fetch", ...
  [[nodiscard]] const std::string& resource_type() const;

  // The raw body bytes. Throws Error when the body is gone (a redirect, or
  // the page navigated away).
  asio::awaitable<std::string> body() const;
  // The body as UTF-8 text.
  asio::awaitable<std::string> text() const;
  // The body parsed as JSON. Throws Error when it is missing or not JSON.
  asio::awaitable<nlohmann::ordered_json> json() const;

 private:
  std::shared_ptr<detail::ResponseImpl> impl_;
};

}  // namespace playwright
