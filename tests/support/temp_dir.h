// TempDir: a fresh empty directory for one test, removed with everything in
// it when the object goes.
#pragma once

#include <filesystem>

namespace ravik::test_support {

class TempDir {
 public:
  // Creates a new directory "ravik-test-XXXXXX" under the system's
  // temporary directory; throws std::system_error when it cannot.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace ravik::test_support
