// A minimal HTTP client: one GET with a total time limit, verified TLS and
// a cap on the body size.
#pragma once

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "ravik/export/host_export.h"
#include "ravik/json.h"

namespace ravik::shared {

// A request that failed: no answer in time, a transport or TLS failure, a
// body over the cap, or (from raise_for_status) a failure status.
class RAVIK_HOST_EXPORT HttpError : public std::runtime_error {
 public:
  explicit HttpError(const std::string& message);
  ~HttpError() override;
};

// The answer to a request: its final status and its body.
struct RAVIK_HOST_EXPORT HttpResponse {
  long status = 0;
  std::string body;

  // Throws HttpError unless the status is a success status (2xx).
  void raise_for_status() const;
  // The body parsed as JSON; throws Json::parse_error when it is not.
  Json json() const;
};

// The largest body http_get accepts.
inline constexpr std::size_t MAX_BODY_BYTES = 16 * 1024 * 1024;

// GETs `url` (http or https, following up to five redirects) and returns the
// answer whatever its status. Throws HttpError when no complete answer
// arrives within `timeout`, counted from the start to the last byte.
RAVIK_HOST_EXPORT HttpResponse http_get(const std::string& url, std::chrono::milliseconds timeout);

}  // namespace ravik::shared
