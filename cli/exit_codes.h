// Exit statuses of the ravik command, one per kind of outcome, so that
// scripts can tell a blocked collection from a failure.
#pragma once

namespace ravik::cli {

enum ExitCode : int {
  kExitCompleted = 0,  // the command did its job
  kExitError = 1,      // it failed; the message is on standard error
  kExitUsage = 2,      // the command line was not understood
  kExitBlocked = 3,    // the site asked for a login or showed a captcha
  kExitIncomplete = 4, // the collection finished, but some sections are missing
};

}  // namespace ravik::cli
