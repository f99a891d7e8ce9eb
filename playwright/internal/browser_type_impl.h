// BrowserTypeImpl: the driver's Chromium launcher.
#pragma once

#include <memory>

#include "playwright/browser_type.h"
#include "playwright/internal/remote_object.h"

namespace playwright::detail {

class BrowserContextImpl;

class BrowserTypeImpl : public RemoteObject {
 public:
  using RemoteObject::RemoteObject;

  asio::awaitable<std::shared_ptr<BrowserContextImpl>> launch_persistent_context(
      const LaunchPersistentContextOptions& options);

  // The launch parameters sent for `options`: the caller's options, the
  // system Chromium where Playwright's own build is absent, and the switches
  // that keep Chromium off the network and working as root.
  nlohmann::json launch_params(const LaunchPersistentContextOptions& options) const;
};

}  // namespace playwright::detail
