#include "ravik/shared/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include <system_error>

namespace ravik::shared {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("file_io_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(FileIoTest, ReplacesWholeAndLeavesNoTemporaryFiles) {
  const fs::path file = dir_ / "cache.json";
  write_file_atomically(file, "first, longer content");
  write_file_atomically(file, std::string("second\0binary", 13));
  EXPECT_EQ(read_file(file), std::string("second\0binary", 13));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(FileIoTest, FailuresCarryTheErrno) {
  try {
    (void)read_file(dir_ / "missing");
    FAIL();
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
  }
  try {
    (void)read_file(dir_);
    FAIL();
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::is_a_directory);
  }
  // Replacing a directory fails and cleans up after itself.
  fs::create_directories(dir_ / "taken" / "child");
  EXPECT_THROW(write_file_atomically(dir_ / "taken", "x"), std::system_error);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// While alive, this process can open just one more file descriptor.
class OneFreeDescriptor {
 public:
  OneFreeDescriptor() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    const int lowest_free = ::dup(0);
    ::close(lowest_free);
    const rlimit limited{.rlim_cur = static_cast<rlim_t>(lowest_free) + 1, .rlim_max = saved_.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &limited);
  }
  ~OneFreeDescriptor() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  OneFreeDescriptor(const OneFreeDescriptor&) = delete;
  OneFreeDescriptor& operator=(const OneFreeDescriptor&) = delete;

 private:
  rlimit saved_{};
};

TEST_F(FileIoTest, ADirectoryThatCannotBeSyncedReplacesNothing) {
  const fs::path file = dir_ / "cache.json";
  write_file_atomically(file, "old");
  try {
    // The temporary file takes the last descriptor; the directory gets none.
    const OneFreeDescriptor limit;
    write_file_atomically(file, "new");
    ADD_FAILURE() << "expected the write to fail";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::too_many_files_open);
    EXPECT_NE(std::string(error.what()).find("directory " + dir_.string()), std::string::npos) << error.what();
  }
  EXPECT_EQ(read_file(file), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "no temporary file is left";
}

TEST_F(FileIoTest, ReadsStreamsOfUnknownLengthWhole) {
  // A pipe reports no size, so the buffer has to grow while reading.
  const fs::path fifo = dir_ / "stream";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string expected;
  for (int i = 0; expected.size() < 300000; ++i) expected += std::to_string(i) + ",";
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << expected; });
  const MutableBuffer buffer = MutableBuffer::read_file(fifo);
  writer.join();
  EXPECT_EQ(std::string_view(buffer.data(), buffer.size()), expected);
}

TEST_F(FileIoTest, RegularFileReadsRefuseOtherKindsWithoutWaiting) {
  const fs::path regular = dir_ / "regular";
  write_file_atomically(regular, "content");
  EXPECT_EQ(read_regular_file(regular), "content");
  // A FIFO that nobody writes to would block a plain open forever.
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<fs::path, std::errc> cases[] = {
      {fifo, std::errc::invalid_argument},
      {"/dev/null", std::errc::invalid_argument},
      {dir_, std::errc::is_a_directory},
      {dir_ / "missing", std::errc::no_such_file_or_directory},
  };
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(path);
    try {
      (void)MutableBuffer::read_regular_file(path);
      ADD_FAILURE() << "read";
    } catch (const std::system_error& error) {
      EXPECT_EQ(error.code(), expected);
      EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
    }
  }
}

TEST_F(FileIoTest, PaddedReadsLeaveZeroBytesAfterTheFile) {
  const fs::path file = dir_ / "padded";
  // Sizes around the 2 MiB blocks that are given huge pages.
  for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{2} << 20, (std::size_t{4} << 20) + 3}) {
    SCOPED_TRACE(size);
    const std::string content(size, 'x');
    write_file_atomically(file, content);
    const MutableBuffer buffer = MutableBuffer::read_regular_file(file, 64);
    ASSERT_EQ(std::string_view(buffer.data(), buffer.size()), content);
    EXPECT_EQ(std::string_view(buffer.data() + size, 64), std::string(64, '\0'));
  }
}

}  // namespace
}  // namespace ravik::shared
