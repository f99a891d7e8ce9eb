// How a subcommand hands its work to the entry point: parsing the command
// line only records what to run; the entry runs it afterwards, so that all
// failures are reported in one place.
#pragma once

#include <functional>

namespace ravik::cli {

// The chosen command; returns the process's exit status.
using CommandAction = std::function<int()>;

}  // namespace ravik::cli
