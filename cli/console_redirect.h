// Keeps standard output for the result alone while a collector operation
// runs. The collector's login hand-over writes its prompt to std::cout and
// reads the user's Enter from std::cin; for the duration of this object the
// prompt goes to standard error instead, and the progress indicator is held
// off the terminal from the prompt until the answer's line end was read.
#pragma once

#include <iostream>
#include <streambuf>

#include "cli/progress_indicator.h"

namespace ravik::cli {

class ConsoleRedirect {
 public:
  explicit ConsoleRedirect(ProgressIndicator& indicator);
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

  ProgressIndicator& indicator_;
  PromptBuffer prompt_buffer_{*this};
  AnswerBuffer answer_buffer_;
  std::streambuf* saved_out_;
  std::streambuf* saved_in_;
  bool prompting_ = false;  // touched only by the one console reader thread
};

}  // namespace ravik::cli
