// Reading the kernel's per-process files (/proc/<pid>/stat, cmdline, ...)
// while other tests start and end processes.
#pragma once

#include <filesystem>
#include <string>

namespace ravik::test_support {

// The whole text of `path`, or "" when it cannot be opened or read: a
// process may end between being listed and being read, and reading its
// files then fails (ESRCH) rather than ending early.
std::string read_proc_file(const std::filesystem::path& path);

}  // namespace ravik::test_support
