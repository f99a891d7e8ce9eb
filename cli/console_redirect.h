// Keeps standard output for the result alone while a collector operation
// runs. The collector's login hand-over writes its prompt to std::cout and
// reads the user's Enter from std::cin; for the duration of this object the
// prompt goes to standard error instead, and the progress indicator is held
// off the terminal from the prompt until the answer's line end was read.
// The answer is read while watching an interrupt notice: once the notice
// turns readable, std::cin is at its end, so that a prompt waiting for the
// user gives up and the operation can close down.
#pragma once

#include <iostream>
#include <streambuf>

#include "cli/progress_indicator.h"

namespace ravik::cli {

class ConsoleRedirect {
 public:
  // `interrupt_notice`: a descriptor that turns readable when the operation
  // is to end (InterruptWatch::notice_fd).
  ConsoleRedirect(ProgressIndicator& indicator, int interrupt_notice);
  ~ConsoleRedirect();
  ConsoleRedirect(const ConsoleRedirect&) = delete;
  ConsoleRedirect& operator=(const ConsoleRedirect&) = delete;

 private:
  // Writes to standard error; the first byte of a prompt pauses the indicator.
  class PromptBuffer : public std::streambuf {
   public:
    explicit PromptBuffer(ConsoleRedirect& owner) : owner_(owner) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

   private:
    ConsoleRedirect& owner_;
  };

  // Reads through std::cin's own buffer; a line end resumes the indicator.
  // Answers the end of input once the interrupt notice is readable.
  class AnswerBuffer : public std::streambuf {
   public:
    AnswerBuffer(ConsoleRedirect& owner, std::streambuf* source) : owner_(owner), source_(source) {}

   protected:
    int_type underflow() override;

   private:
    ConsoleRedirect& owner_;
    std::streambuf* source_;
    char current_ = 0;
  };

  void prompt_started();
  void answer_read();
  // Blocks until standard input has a byte or its end to give (true) or the
  // interrupt notice turned readable (false).
  bool wait_for_input() const;

  ProgressIndicator& indicator_;
  const int interrupt_notice_;
  PromptBuffer prompt_buffer_{*this};
  AnswerBuffer answer_buffer_;
  std::streambuf* saved_out_;
  std::streambuf* saved_in_;
  bool prompting_ = false;  // touched only by the one console reader thread
};

}  // namespace ravik::cli
