// Entry point of the `ravik` command: the command line, the version notice,
// and the mapping of every outcome to an exit status.
#include <csignal>
#include <exception>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "cli/command.h"
#include "cli/error_report.h"
#include "cli/exit_codes.h"
#include "cli/rufus_commands.h"
#include "cli/seller_sprite_commands.h"
#include "cli/standard_output.h"
#include "cli/trace_commands.h"
#include "ravik/environment.h"
#include "ravik/shared/verwatch.h"
#include "ravik/version.h"

namespace {

using namespace ravik::cli;

// RAVIK_NO_UPDATE_CHECK, when set and not empty, turns the version notice off.
void notify_about_updates() {
  if (ravik::environment::variable("RAVIK_NO_UPDATE_CHECK")) return;
  ravik::shared::verwatch::check_and_notify();
}

// Shows the failure being handled, with its causes, on standard error;
// answers kExitError.
int report_failure() {
  std::cerr << describe_failure(std::current_exception()) << std::flush;
  return kExitError;
}

// What CLI11 makes of a help or version request or of a usage error: the
// help and version texts are results (standard output, checked), usage
// errors go to standard error.
int finish_parse_error(const CLI::App& app, const CLI::ParseError& error) {
  std::ostringstream out;
  const int status = app.exit(error, out, std::cerr);
  write_standard_output(out.view());
  return status == 0 ? kExitCompleted : kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that went away is a failed write (EPIPE), reported like any
  // other, not a signal that ends the command without a word.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    claim_standard_descriptors();
  } catch (...) {
    return report_failure();
  }

  CLI::App app{"ravik：卖家精灵采集、接口场景与 Rufus 题库", "ravik"};
  app.set_version_flag("--version", "ravik " + ravik::version::get_version());
  app.require_subcommand(1);
  CommandAction action;
  add_seller_sprite_commands(app, action);
  add_rufus_commands(app, action);
  add_trace_commands(app, action);

  try {
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
      return finish_parse_error(app, error);
    }
    // Only a command that does real work pays for the check and shows its
    // hint; help, version and usage errors answer at once.
    notify_about_updates();
    return action();
  } catch (...) {
    return report_failure();
  }
}
