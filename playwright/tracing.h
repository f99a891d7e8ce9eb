// Tracing: the recording of a browser context's activity (actions, network,
// console, DOM snapshots, screenshots) into an archive that Playwright's own
// trace viewer opens (`node <playwright-core>/cli.js show-trace FILE`).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

#include <asio/awaitable.hpp>

#include "ravik/export/playwright_export.h"

namespace playwright {

namespace detail {
class TracingImpl;
}

struct TracingStartOptions {
  bool screenshots = false;  // a screencast of the pages
  bool snapshots = false;    // DOM snapshots before and after each action
  std::optional<std::chrono::milliseconds> timeout{};
};

struct TracingStopOptions {
  std::optional<std::chrono::milliseconds> timeout{};  // each driver call's own limit
};

class RAVIK_PLAYWRIGHT_EXPORT Tracing {
 public:
  explicit Tracing(std::shared_ptr<detail::TracingImpl> impl);

  // Starts recording. Throws Error when the context is already tracing or
  // has gone away.
  asio::awaitable<void> start(TracingStartOptions options = {});
  // Ends the recording and saves its archive (a zip) at `path`, readable by
  // its owner only: the archive holds the session's cookies and the pages'
  // contents. Missing parent directories are created; an existing file is
  // replaced; the file appears whole or not at all. The recording is ended
  // also when saving fails; the failure is then thrown as Error.
  asio::awaitable<void> stop(const std::filesystem::path& path, TracingStopOptions options = {});

 private:
  std::shared_ptr<detail::TracingImpl> impl_;
};

}  // namespace playwright
