#include "playwright/internal/tracing_impl.h"

#include <cerrno>
#include <string>
#include <system_error>

#include <stdlib.h>
#include <sys/stat.h>

#include "playwright/error.h"
#include "playwright/internal/connection.h"
#include "playwright/internal/frame_impl.h"
#include "playwright/run_then.h"

namespace playwright::detail {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::string_view kStopApi = "Tracing.stop";

[[noreturn]] void fail_to_save(const fs::path& path, const std::string& why) {
  throw Error(std::string(kStopApi) + ": cannot save the trace at " + path.string() + ": " + why);
}

// A fresh owner-only (0700) directory beside `target`, where the driver
// writes the archive before it is made owner-only and moved into place.
fs::path make_staging_dir(const fs::path& target) {
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (ec) fail_to_save(target, ec.message());
  std::string pattern = (target.parent_path() / ".trace-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) fail_to_save(target, std::generic_category().message(errno));
  return pattern;
}

}  // namespace

asio::awaitable<void> TracingImpl::start(const TracingStartOptions& options) const {
  constexpr std::string_view kApi = "Tracing.start";
  const std::chrono::milliseconds timeout = timeout_or_default(options.timeout);
  json params = json::object();
  params["snapshotDom"] = options.snapshots;
  params["screencast"] = options.screenshots;
  co_await call(kApi, "tracingStart", std::move(params), timeout);
  co_await call(kApi, "tracingStartChunk", json::object(), timeout);
}

asio::awaitable<void> TracingImpl::stop(const fs::path& path, const TracingStopOptions& options) const {
  const std::chrono::milliseconds timeout = timeout_or_default(options.timeout);
  // The recording ends also when its archive could not be saved.
  co_await run_then([&] { return save_chunk(path, timeout); },
                    [&] { return call(kStopApi, "tracingStop", json::object(), timeout); });
}

asio::awaitable<void> TracingImpl::save_chunk(const fs::path& path, std::chrono::milliseconds timeout) const {
  json params = json::object();
  params["mode"] = "archive";
  const json result = co_await call(kStopApi, "tracingStopChunk", std::move(params), timeout);
  const std::shared_ptr<RemoteObject> artifact =
      connection(kStopApi)->find(guid_of(result.value("artifact", json())));
  if (!artifact) throw Error(std::string(kStopApi) + ": the driver answered no trace archive");

  const fs::path target = fs::absolute(path);
  const fs::path staging_dir = make_staging_dir(target);
  const fs::path staged = staging_dir / target.filename();
  const auto save = [&]() -> asio::awaitable<void> {
    json save_params = json::object();
    save_params["path"] = staged.string();
    co_await artifact->call(kStopApi, "saveAs", std::move(save_params), timeout);
    if (::chmod(staged.c_str(), 0600) != 0) fail_to_save(target, std::generic_category().message(errno));
    std::error_code ec;
    fs::rename(staged, target, ec);
    if (ec) fail_to_save(target, ec.message());
  };
  const auto clean_up = [&]() -> asio::awaitable<void> {
    std::error_code ignored;
    fs::remove_all(staging_dir, ignored);
    co_await artifact->call(kStopApi, "delete", json::object(), timeout);
  };
  co_await run_then(save, clean_up);
}

}  // namespace playwright::detail
