// Where the SellerSprite account for an automatic login comes from: the
// environment, or the terminal. Never from a command-line flag, so a
// password shows neither in the process list nor in shell history.
#pragma once

#include <optional>

#include "ravik/json.h"

namespace ravik::cli {

inline constexpr const char* kUsernameVariable = "RAVIK_SELLERSPRITE_USERNAME";
inline constexpr const char* kPasswordVariable = "RAVIK_SELLERSPRITE_PASSWORD";

// The account dictionary {"username", "password"}, or nothing when no user
// name is known. The user name comes from RAVIK_SELLERSPRITE_USERNAME, or,
// when `ask` is set, from a prompt on standard error answered on standard
// input. The password comes from RAVIK_SELLERSPRITE_PASSWORD, or from a
// prompt whenever a user name is known; it is read without echo when
// standard input is a terminal. Throws std::runtime_error when standard
// input ends before an answer.
std::optional<Json> resolve_account(bool ask);

}  // namespace ravik::cli
