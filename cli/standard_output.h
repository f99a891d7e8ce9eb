// Standard output carries the command's result, so a result that does not
// reach it is a failure of the command: every write to it is checked, and a
// standard output that was already closed at the start is refused.
#pragma once

#include <stdexcept>
#include <string_view>

namespace ravik::cli {

// Standard output did not take the result: a full disk, a pipe closed at
// its reading end, a closed descriptor. The message carries the system's
// reason, e.g. "无法写入标准输出：No space left on device".
class StandardOutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so
// that no file the command opens later takes one of these numbers (a run
// file on descriptor 1 would receive the result, one on 2 the messages).
// Throws StandardOutputError afterwards when descriptor 1 was closed: no
// result of the command could reach anybody, so it must not run at all.
void claim_standard_descriptors();

// Writes all of `text` to descriptor 1, retrying partial and interrupted
// writes. Throws StandardOutputError when a write fails.
void write_standard_output(std::string_view text);

}  // namespace ravik::cli
