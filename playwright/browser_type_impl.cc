#include "playwright/internal/browser_type_impl.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "playwright/error.h"
#include "playwright/internal/browser_context_impl.h"
#include "playwright/internal/connection.h"

namespace playwright {

namespace {

namespace fs = std::filesystem;

// Playwright's own default for launches.
constexpr std::chrono::milliseconds kLaunchTimeout{180000};
constexpr const char* kSystemChromium = "/usr/bin/chromium";

// Switches for a machine whose network is closed: no background traffic
// that would only fail, and no QUIC.
const char* const kExtraArgs[] = {
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--no-first-run",                  "--disable-quic",
};

constexpr const char* kChromiumPathVariable = "RAVIK_CHROMIUM_PATH";

// The executable to launch, or "" for Playwright's own build.
std::string chromium_executable(const std::optional<std::string_view>& channel, const std::string& bundled_path) {
  const char* configured = std::getenv(kChromiumPathVariable);
  if (configured == nullptr || *configured == '\0') {
    if (channel && *channel != "chromium") return "";  // a branded browser Playwright finds itself
    std::error_code ec;
    if (!bundled_path.empty() && fs::exists(bundled_path, ec)) return "";
  }
  return system_chromium_path();
}

}  // namespace

std::string system_chromium_path() {
  if (const char* path = std::getenv(kChromiumPathVariable); path != nullptr && *path != '\0') return path;
  return kSystemChromium;
}

namespace detail {

nlohmann::json BrowserTypeImpl::launch_params(const LaunchPersistentContextOptions& options) const {
  nlohmann::json params = nlohmann::json::object();
  const std::string user_data_dir(options.user_data_dir);
  params["userDataDir"] = user_data_dir.empty() ? user_data_dir : fs::absolute(user_data_dir).string();
  params["headless"] = options.headless;
  if (options.channel) params["channel"] = std::string(*options.channel);
  if (options.viewport) params["viewport"] = {{"width", options.viewport->width}, {"height", options.viewport->height}};
  if (options.locale) params["locale"] = std::string(*options.locale);
  const std::string executable = chromium_executable(options.channel, initializer().value("executablePath", ""));
  if (!executable.empty()) params["executablePath"] = executable;
  params["args"] = nlohmann::json::array();
  for (const char* arg : kExtraArgs) params["args"].push_back(arg);
  if (::geteuid() == 0) params["chromiumSandbox"] = false;  // Chromium's sandbox refuses to run as root
  return params;
}

asio::awaitable<std::shared_ptr<BrowserContextImpl>> BrowserTypeImpl::launch_persistent_context(
    const LaunchPersistentContextOptions& options) {
  constexpr std::string_view kApi = "BrowserType.launch_persistent_context";
  const nlohmann::json result = co_await call(kApi, "launchPersistentContext", launch_params(options), kLaunchTimeout);
  auto context = connection(kApi)->find_as<BrowserContextImpl>(result.value("context", nlohmann::json()));
  if (!context) throw Error(std::string(kApi) + ": the driver answered no browser context");
  co_return context;
}

}  // namespace detail
}  // namespace playwright
