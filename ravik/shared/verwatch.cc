#include "ravik/shared/verwatch.h"

#include <charconv>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "ravik/config.h"
#include "ravik/environment.h"
#include "ravik/shared/console.h"
#include "ravik/shared/file_io.h"
#include "ravik/shared/http_client.h"
#include "ravik/version.h"

namespace ravik::shared::verwatch {
namespace {

constexpr auto REQUEST_TIMEOUT = std::chrono::seconds(5);
constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string package_index_origin() {
  std::string origin = environment::variable("RAVIK_PACKAGE_INDEX_ORIGIN").value_or("https://pypi.org");
  while (!origin.empty() && origin.back() == '/') origin.pop_back();
  return origin;
}

// The text of the regular file at `path`; none when there is no file there
// (nor a directory on the way) or only a FIFO, socket or device, which is
// never waited on. Any other failure (a directory, a denied permission) throws.
std::optional<std::string> read_if_regular_file(const std::filesystem::path& path) {
  try {
    return read_regular_file(path);
  } catch (const std::system_error& error) {
    const std::error_code code = error.code();
    if (code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory ||
        code == std::errc::too_many_symbolic_link_levels || code == std::errc::filename_too_long ||
        code == std::errc::invalid_argument) {
      return std::nullopt;
    }
    throw;
  }
}

// True when the failure memo holds a failed check less than
// RETRY_AFTER_FAILURE ago; a missing, unreadable or garbled memo, or one
// dated in the future, is none.
bool failed_recently() {
  try {
    const std::optional<std::string> text = read_if_regular_file(FAILURE_FILE());
    if (!text) return false;
    const Json memo = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!memo.is_object()) return false;
    const auto failed_at = memo.find("failed_at");
    if (failed_at == memo.end() || !failed_at->is_number()) return false;
    const double elapsed = now_seconds() - failed_at->get<double>();
    return elapsed >= 0 && elapsed < RETRY_AFTER_FAILURE;
  } catch (const std::exception&) {
    return false;
  }
}

// Writes the failure memo with the current time, as the cache is written.
void remember_failure() {
  const std::filesystem::path& file = FAILURE_FILE();
  std::filesystem::create_directories(file.parent_path());
  write_file_atomically(file, R"({"failed_at": )" + format_seconds(now_seconds()) + "}");
}

// True for a version text fit to show on a terminal: 1 to 64 characters,
// each an ASCII letter or digit or one of ".+-_!" (every release number the
// package index takes). Anything else, such as escape sequences, is not
// printed at all.
bool is_plain_version(std::string_view text) {
  constexpr std::size_t MAX_LENGTH = 64;
  if (text.empty() || text.size() > MAX_LENGTH) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           std::string_view(".+-_!").find(c) != std::string_view::npos;
  });
}

// Prints the hint when `latest` is a plain version newer than `current`.
void notify_if_newer(const std::string& current, const std::string& latest) {
  if (is_plain_version(latest) && is_newer_available(current, latest)) _print_update_hint(current, latest);
}

std::uint64_t version_piece(std::string_view piece) {
  if (piece.empty() || piece.find_first_not_of("0123456789") != std::string_view::npos) return 0;
  std::uint64_t value = 0;
  if (std::from_chars(piece.data(), piece.data() + piece.size(), value).ec != std::errc()) return UINT64_MAX;
  return value;
}

}  // namespace

const std::string& PYPI_JSON_URL() {
  static const std::string url = package_index_origin() + "/pypi/moltane-ravik/json";
  return url;
}

const std::filesystem::path& CACHE_FILE() {
  static const std::filesystem::path file = config::CONFIG_DIR() / "pypi_version_cache.json";
  return file;
}

const std::filesystem::path& FAILURE_FILE() {
  static const std::filesystem::path file = config::CONFIG_DIR() / "pypi_version_check_failed.json";
  return file;
}

VersionTuple _parse_version(std::string_view version_str) {
  constexpr std::string_view blanks = " \t\n\v\f\r";
  const std::size_t first = version_str.find_first_not_of(blanks);
  std::string_view normalized =
      first == std::string_view::npos ? std::string_view() : version_str.substr(first, version_str.find_last_not_of(blanks) - first + 1);
  if (!normalized.empty() && normalized.front() == 'v') normalized.remove_prefix(1);
  VersionTuple version{0, 0, 0};
  for (std::size_t index = 0; index < version.size(); ++index) {
    const std::size_t dot = normalized.find('.');
    version[index] = version_piece(normalized.substr(0, dot));
    if (dot == std::string_view::npos) break;
    normalized.remove_prefix(dot + 1);
  }
  return version;
}

bool is_newer_available(std::string_view current, std::string_view latest) {
  return _parse_version(current) < _parse_version(latest);
}

std::optional<Json> _read_cache() {
  const std::optional<std::string> text = read_if_regular_file(CACHE_FILE());
  if (!text || text->starts_with(UTF8_BOM)) return std::nullopt;  // a BOM: not JSON text as it stands
  Json cache = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (cache.is_discarded() || !cache.is_object()) return std::nullopt;
  const auto checked = cache.find("checked_at");
  if (!cache.contains("latest_version") || checked == cache.end()) return std::nullopt;
  double checked_at;
  if (checked->is_boolean()) {
    checked_at = checked->get<bool>() ? 1 : 0;
  } else if (checked->is_number()) {
    checked_at = checked->get<double>();
  } else {
    return std::nullopt;
  }
  if (now_seconds() - checked_at < CACHE_TTL) return cache;
  return std::nullopt;
}

void _write_cache(const std::string& latest_version) {
  const std::filesystem::path& file = CACHE_FILE();
  std::filesystem::create_directories(file.parent_path());
  const std::string content = R"({"latest_version": )" + Json(latest_version).dump(-1, ' ', /*ensure_ascii=*/true) +
                              R"(, "checked_at": )" + format_seconds(now_seconds()) + "}";
  write_file_atomically(file, content);
}

std::optional<std::string> _fetch_latest_version() {
  try {
    const HttpResponse response = http_get(PYPI_JSON_URL(), REQUEST_TIMEOUT);
    response.raise_for_status();
    const Json body = response.json();
    if (!body.is_object()) return std::nullopt;
    const auto info = body.find("info");
    if (info == body.end() || !info->is_object()) return std::nullopt;
    const auto version = info->find("version");
    if (version == info->end() || !version->is_string()) return std::nullopt;
    return version->get<std::string>();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void _print_update_hint(std::string_view current, std::string_view latest) {
  const Console console(stderr);
  console.print();
  console.print("[yellow]ravik 有新版本可用，建议更新最新版本: v" + std::string(current) + " → v" + std::string(latest) +
                "[/yellow]");
  console.print("[dim]请按以下步骤更新：[/dim]");
  console.print("[cyan]  1. pip install --upgrade moltane-ravik[/cyan]");
  console.print("[cyan]  2. ravik skills install --force[/cyan]");
  console.print("[cyan]  3. ravik skills upgrade[/cyan]");
  console.print();
}

void check_and_notify() {
  try {
    const std::string current = version::get_version();
    if (const std::optional<Json> cached = _read_cache(); cached && !is_empty_value(*cached)) {
      notify_if_newer(current, cached->at("latest_version").get<std::string>());
      return;
    }
    if (failed_recently()) return;
    const std::optional<std::string> latest = _fetch_latest_version();
    if (!latest) {
      remember_failure();
      return;
    }
    _write_cache(*latest);
    notify_if_newer(current, *latest);
  } catch (const std::exception&) {
    // The notice is a courtesy: no failure of it may disturb the command.
  }
}

std::string format_seconds(double seconds) {
  if (std::isnan(seconds)) return "NaN";
  if (std::isinf(seconds)) return seconds > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::scientific);
  const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
  // Split "-d.ddde+XX" into sign, significant digits and decimal exponent.
  const std::size_t e = scientific.find('e');
  std::string_view mantissa = scientific.substr(0, e);
  const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());
  std::string sign;
  if (mantissa.front() == '-') {
    sign = "-";
    mantissa.remove_prefix(1);
  }
  std::string digits(mantissa.substr(0, 1));
  if (mantissa.size() > 2) digits += mantissa.substr(2);
  const int count = static_cast<int>(digits.size());
  if (exponent >= 16 || exponent < -4) {
    std::string text = sign + digits.substr(0, 1);
    if (count > 1) text += "." + digits.substr(1);
    const int magnitude = std::abs(exponent);
    return text + (exponent < 0 ? "e-" : "e+") + (magnitude < 10 ? "0" : "") + std::to_string(magnitude);
  }
  if (exponent < 0) return sign + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  const int integer_digits = exponent + 1;
  if (count <= integer_digits) {
    return sign + digits + std::string(static_cast<std::size_t>(integer_digits - count), '0') + ".0";
  }
  return sign + digits.substr(0, static_cast<std::size_t>(integer_digits)) + "." +
         digits.substr(static_cast<std::size_t>(integer_digits));
}

}  // namespace ravik::shared::verwatch
