#include "playwright/internal/driver_environment.h"

#include <algorithm>
#include <iterator>

#include "process/spawn.h"

namespace playwright::detail {

namespace {

// The language the driver is told its client speaks: it decides the wording
// of selectors in call logs and makes the driver send only well-formed UTF-16
// text.
constexpr std::string_view kLanguageVariable = "PW_LANG_NAME";
constexpr std::string_view kLanguage = "python";

constexpr std::string_view kPassingNames[] = {
    // Finding programs, the user, the home directory and temporary files.
    "PATH", "HOME", "USER", "LOGNAME", "SHELL", "TMPDIR",
    // Locale and time zone (LC_* below).
    "LANG", "LANGUAGE", "TZ",
    // A visible browser: display, session bus, input methods, scaling.
    "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "XMODIFIERS", "GTK_IM_MODULE",
    "QT_IM_MODULE", "GDK_SCALE", "GDK_DPI_SCALE", "DESKTOP_SESSION",
    // Proxies, both spellings.
    "http_proxy", "https_proxy", "no_proxy", "all_proxy", "ftp_proxy", "HTTP_PROXY", "HTTPS_PROXY", "NO_PROXY",
    "ALL_PROXY", "FTP_PROXY",
    // The driver's own switches and logging (PLAYWRIGHT_*, PW_* below).
    "DEBUG", "DEBUG_FILE", "DEBUG_COLORS", "PWDEBUG", "CHROME_DEVEL_SANDBOX"};

constexpr std::string_view kPassingPrefixes[] = {"LC_", "XDG_", "FONTCONFIG_", "PLAYWRIGHT_", "PW_"};

}  // namespace

bool passes_to_driver(std::string_view name) {
  if (name == kLanguageVariable) return false;  // set by the client
  if (std::find(std::begin(kPassingNames), std::end(kPassingNames), name) != std::end(kPassingNames)) return true;
  return std::any_of(std::begin(kPassingPrefixes), std::end(kPassingPrefixes),
                     [&](std::string_view prefix) { return name.starts_with(prefix); });
}

std::vector<std::string> driver_environment(const char* const* host_environment) {
  std::vector<std::string> environment = ravik::process::environment_entries(host_environment, passes_to_driver);
  environment.push_back(std::string(kLanguageVariable) + "=" + std::string(kLanguage));
  return environment;
}

}  // namespace playwright::detail
