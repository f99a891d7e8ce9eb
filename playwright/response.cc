#include "playwright/response.h"

#include "playwright/error.h"
#include "playwright/internal/response_impl.h"

namespace playwright {

Response::Response(std::shared_ptr<detail::ResponseImpl> impl) : impl_(std::move(impl)) {}

const std::string& Response::url() const { return impl_->url(); }
int Response::status() const { return impl_->status(); }
const std::string& Response::resource_type() const { return impl_->resource_type(); }

asio::awaitable<std::string> Response::body() const { co_return co_await impl_->body(); }

asio::awaitable<std::string> Response::text() const {
  std::string body = co_await impl_->body();
  try {
    // Rejects what is not UTF-8, as decoding the body strictly would.
    (void)nlohmann::json(body).dump();
  } catch (const nlohmann::json::exception&) {
    throw Error("Response.text: the body of " + impl_->url() + " is not valid UTF-8 text");
  }
  co_return body;
}

asio::awaitable<nlohmann::ordered_json> Response::json() const {
  const std::string body = co_await impl_->body();
  auto parsed = nlohmann::ordered_json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) throw Error("Response.json: the body of " + impl_->url() + " is not JSON");
  co_return parsed;
}

}  // namespace playwright
