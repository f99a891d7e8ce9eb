// The version notice: tells the user on standard error that a newer release
// of the CLI is on the package index, asking the index at most once a day
// and keeping its answer in "~/.config/ravik/pypi_version_cache.json".
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "ravik/export/verwatch_export.h"
#include "ravik/json.h"

namespace ravik::shared::verwatch {

// The package index's JSON page for the CLI: the origin from
// $RAVIK_PACKAGE_INDEX_ORIGIN (default "https://pypi.org") followed by
// "/pypi/moltane-ravik/json". Read once, on first use.
RAVIK_VERWATCH_EXPORT const std::string& PYPI_JSON_URL();

// CONFIG_DIR / "pypi_version_cache.json", computed on first use.
RAVIK_VERWATCH_EXPORT const std::filesystem::path& CACHE_FILE();

// How long a cached answer stays fresh, in seconds.
inline constexpr double CACHE_TTL = 86400;

// CONFIG_DIR / "pypi_version_check_failed.json": the moment of the last
// failed query of the package index, {"failed_at": <seconds>}, written
// atomically beside the cache so that an index that is down or hangs costs
// one time-out per RETRY_AFTER_FAILURE rather than one per command. The cache
// file itself stays as it is.
RAVIK_VERWATCH_EXPORT const std::filesystem::path& FAILURE_FILE();

// How long after a failed query the index is not asked again, in seconds.
inline constexpr double RETRY_AFTER_FAILURE = 3600;

// (major, minor, patch), compared lexicographically.
using VersionTuple = std::array<std::uint64_t, 3>;

// Prints the update hint when the package index has a newer release. Never
// throws: every failure ends the check silently. A fresh cache answers
// without the network; otherwise, unless a query failed less than
// RETRY_AFTER_FAILURE ago, the index is asked. The hint is shown only for a
// plain version text (letters, digits and ".+-_!", at most 64 characters):
// a version text from the index or the cache with anything else in it, such
// as terminal escape sequences, is never printed.
RAVIK_VERWATCH_EXPORT void check_and_notify();

// True when `latest` is a newer version than `current`.
[[nodiscard]] RAVIK_VERWATCH_EXPORT bool is_newer_available(std::string_view current, std::string_view latest);

// Blanks trimmed, one leading "v" dropped, split at "."; each of the first
// three pieces counts when made only of digits, else 0; missing pieces are 0.
// A piece too large for 64 bits counts as the largest value.
[[nodiscard]] RAVIK_VERWATCH_EXPORT VersionTuple _parse_version(std::string_view version_str);

// The cache object when the file holds a fresh one (checked less than
// CACHE_TTL ago, or in the future); none when it is missing, not a regular
// file (a FIFO there is not waited on), not UTF-8 JSON, lacks
// "latest_version" or a numeric "checked_at", or is stale. Other read
// failures (a directory, a denied permission) throw.
[[nodiscard]] RAVIK_VERWATCH_EXPORT std::optional<Json> _read_cache();

// Writes the cache anew with `latest_version` and the current time; throws
// on failure.
RAVIK_VERWATCH_EXPORT void _write_cache(const std::string& latest_version);

// The version the package index reports, or none on any failure.
[[nodiscard]] RAVIK_VERWATCH_EXPORT std::optional<std::string> _fetch_latest_version();

// Prints the seven lines of the update hint on standard error.
RAVIK_VERWATCH_EXPORT void _print_update_hint(std::string_view current, std::string_view latest);

// Seconds since the epoch as the cache writes them: the shortest text that
// reads back to the same double, always with a fraction or an exponent
// ("1765170000.0", "1765170000.123456", "1e+16").
[[nodiscard]] RAVIK_VERWATCH_EXPORT std::string format_seconds(double seconds);

}  // namespace ravik::shared::verwatch
