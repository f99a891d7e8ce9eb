// Entry point of the `ravik` command: the version notice, the command line,
// and the mapping of every outcome to an exit status.
#include <cstdlib>
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/command.h"
#include "cli/error_report.h"
#include "cli/exit_codes.h"
#include "cli/rufus_commands.h"
#include "cli/seller_sprite_commands.h"
#include "ravik/shared/verwatch.h"
#include "ravik/version.h"

namespace {

// RAVIK_NO_UPDATE_CHECK, when set and not empty, turns the version notice off.
void notify_about_updates() {
  const char* opt_out = std::getenv("RAVIK_NO_UPDATE_CHECK");
  if (opt_out && *opt_out) return;
  ravik::shared::verwatch::check_and_notify();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ravik::cli;
  notify_about_updates();

  CLI::App app{"ravik：卖家精灵采集、接口场景与 Rufus 题库", "ravik"};
  app.set_version_flag("--version", "ravik " + ravik::version::get_version());
  app.require_subcommand(1);
  CommandAction action;
  add_seller_sprite_commands(app, action);
  add_rufus_commands(app, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? kExitCompleted : kExitUsage;
  }
  try {
    return action();
  } catch (...) {
    std::cout.flush();
    std::cerr << describe_failure(std::current_exception()) << std::flush;
    return kExitError;
  }
}
