#include "ravik/shared/http_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "ravik/version.h"

namespace ravik::shared {
namespace {

struct Transfer {
  std::string body;
  bool too_large = false;
};

std::size_t append_body(char* data, std::size_t size, std::size_t count, void* user_data) {
  auto* transfer = static_cast<Transfer*>(user_data);
  const std::size_t bytes = size * count;
  if (transfer->body.size() + bytes > MAX_BODY_BYTES) {
    transfer->too_large = true;
    return 0;  // makes libcurl abort the transfer
  }
  transfer->body.append(data, bytes);
  return bytes;
}

void ensure_curl_initialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw HttpError("cannot initialise libcurl");
  });
}

}  // namespace

HttpError::HttpError(const std::string& message) : std::runtime_error(message) {}
HttpError::~HttpError() = default;

void HttpResponse::raise_for_status() const {
  if (status < 200 || status > 299) throw HttpError("HTTP status " + std::to_string(status));
}

Json HttpResponse::json() const { return Json::parse(body); }

HttpResponse http_get(const std::string& url, std::chrono::milliseconds timeout) {
  ensure_curl_initialised();
  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
  if (!handle) throw HttpError("cannot create an HTTP request");
  CURL* curl = handle.get();
  Transfer transfer;
  const std::string user_agent = "ravik/" + version::get_version();
  char error_text[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MAX_BODY_BYTES));
  curl_easy_setopt(curl, CURLOPT_USERAGENT, user_agent.c_str());
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &append_body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  const CURLcode result = curl_easy_perform(curl);
  if (transfer.too_large || result == CURLE_FILESIZE_EXCEEDED) {
    throw HttpError("GET " + url + ": the answer is larger than " + std::to_string(MAX_BODY_BYTES) + " bytes");
  }
  if (result != CURLE_OK) {
    throw HttpError("GET " + url + ": " + (error_text[0] != '\0' ? error_text : curl_easy_strerror(result)));
  }
  HttpResponse response;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
  response.body = std::move(transfer.body);
  return response;
}

}  // namespace ravik::shared
