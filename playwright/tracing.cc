#include "playwright/tracing.h"

#include "playwright/internal/tracing_impl.h"

namespace playwright {

Tracing::Tracing(std::shared_ptr<detail::TracingImpl> impl) : impl_(std::move(impl)) {}

asio::awaitable<void> Tracing::start(TracingStartOptions options) { co_await impl_->start(options); }

asio::awaitable<void> Tracing::stop(const std::filesystem::path& path, TracingStopOptions options) {
  co_await impl_->stop(path, options);
}

}  // namespace playwright
