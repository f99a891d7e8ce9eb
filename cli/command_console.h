// The console of the command's browser operations, through which the
// collector's login hand-over asks the user. Standard output carries the
// result alone, so the prompt goes to standard error; the progress indicator
// stays off the terminal from the prompt until the answer was read, so that
// it never overwrites the prompt. The answer is read from standard input
// while watching an interrupt notice: once the notice turns readable, the
// wait ends as end of input, so that the operation can close down.
#pragma once

#include <string>

#include "cli/progress_indicator.h"
#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"

namespace ravik::cli {

class CommandConsole : public seller_sprite_legacy::scraping::BlockingConsole {
 public:
  // `interrupt_notice`: a descriptor that turns readable when the operation
  // is to end (InterruptWatch::notice_fd). The indicator and the descriptor
  // must outlive every wait.
  CommandConsole(ProgressIndicator& indicator, int interrupt_notice)
      : indicator_(indicator), interrupt_notice_(interrupt_notice) {}

 protected:
  // Pauses the indicator, writes `prompt` to standard error and reads up to
  // the line end from standard input; resumes the indicator on every way
  // out. Throws ConsoleInputClosedError at end of input or once the
  // interrupt notice is readable.
  void show_prompt_and_read_line(const std::string& prompt) override;

 private:
  // Blocks until standard input has a byte or its end to give (true) or the
  // interrupt notice turned readable (false).
  bool wait_for_input() const;

  ProgressIndicator& indicator_;
  const int interrupt_notice_;
};

}  // namespace ravik::cli
