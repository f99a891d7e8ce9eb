// TracingImpl: a browser context's "Tracing" object in the driver. Its
// archive comes back as an "Artifact" object, a file in the driver's
// temporary directory, which is saved and then deleted.
#pragma once

#include <filesystem>

#include "playwright/internal/remote_object.h"
#include "playwright/tracing.h"

namespace playwright::detail {

class TracingImpl : public RemoteObject {
 public:
  using RemoteObject::RemoteObject;

  // See Tracing::start and Tracing::stop.
  asio::awaitable<void> start(const TracingStartOptions& options) const;
  asio::awaitable<void> stop(const std::filesystem::path& path, const TracingStopOptions& options) const;

 private:
  // Ends the current chunk as an archive and saves it at `path`.
  asio::awaitable<void> save_chunk(const std::filesystem::path& path, std::chrono::milliseconds timeout) const;
};

}  // namespace playwright::detail
