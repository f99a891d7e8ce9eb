// Playwright traces of the browser subcommands: the notice a traced run
// leaves on standard error, and `ravik trace show PATH`, which opens a trace
// in Playwright's own viewer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/command.h"
#include "playwright/driver_location.h"

namespace ravik::cli {

void add_trace_commands(CLI::App& app, CommandAction& action);

// Tells on standard error where the trace of a run is and that it must not
// be passed around carelessly, or that it could not be saved there.
void report_trace(const std::filesystem::path& trace);

// The viewer's command line: node <playwright-core>/cli.js show-trace `trace`.
std::vector<std::string> show_trace_command(const playwright::DriverLocation& driver,
                                            const std::filesystem::path& trace);

}  // namespace ravik::cli
