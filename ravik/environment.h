// Reading the process environment with one rule for empty values, and the
// user's home directory that rests on it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "ravik/export/host_export.h"

namespace ravik::environment {

// The value of the environment variable `name`, or none when it is unset or
// set to the empty text: an empty value counts as not set.
RAVIK_HOST_EXPORT std::optional<std::string> variable(const char* name);

// The current user's home directory: $HOME when set (see `variable`), else the
// password database's entry for the real user id. Throws std::runtime_error
// with a message for the user when neither names a directory.
RAVIK_HOST_EXPORT std::filesystem::path home_directory();

// The home directory that the password database gives for the user `name`,
// or none when there is no such user or the entry has no directory.
RAVIK_HOST_EXPORT std::optional<std::filesystem::path> home_directory_of(const std::string& name);

}  // namespace ravik::environment
