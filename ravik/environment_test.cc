#include "ravik/environment.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "ravik/config.h"

namespace ravik {
namespace {

// A user id that the password database does not know.
constexpr uid_t STRANGER = 3999999;

// Runs `body` in a child process (through a death test) without HOME and
// under a user id without a password entry; the child prints the message of
// the std::exception that `body` throws and exits 0, or exits 1 when nothing
// is thrown.
#define EXPECT_FAILURE_WITHOUT_HOME(body, message)                                   \
  EXPECT_EXIT(                                                                       \
      {                                                                              \
        ::unsetenv("HOME");                                                          \
        if (::setuid(STRANGER) != 0) std::_Exit(2);                                  \
        try {                                                                        \
          body;                                                                      \
        } catch (const std::exception& error) {                                      \
          std::fputs(error.what(), stderr);                                          \
          std::_Exit(0);                                                             \
        }                                                                            \
        std::_Exit(1);                                                               \
      },                                                                             \
      ::testing::ExitedWithCode(0), message)

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) saved_home_ = home;
    const passwd* entry = ::getpwuid(::getuid());
    if (entry == nullptr) GTEST_SKIP() << "no password entry for this user";
    database_home_ = entry->pw_dir;
  }
  void TearDown() override {
    if (saved_home_) ::setenv("HOME", saved_home_->c_str(), 1); else ::unsetenv("HOME");
  }

  std::optional<std::string> saved_home_;
  std::filesystem::path database_home_;
};

TEST_F(EnvironmentTest, EmptyValuesCountAsUnset) {
  ::setenv("RAVIK_ENVIRONMENT_TEST", "", 1);
  EXPECT_EQ(environment::variable("RAVIK_ENVIRONMENT_TEST"), std::nullopt);
  ::unsetenv("RAVIK_ENVIRONMENT_TEST");
  EXPECT_EQ(environment::variable("RAVIK_ENVIRONMENT_TEST"), std::nullopt);
  ::setenv("RAVIK_ENVIRONMENT_TEST", " ", 1);
  EXPECT_EQ(environment::variable("RAVIK_ENVIRONMENT_TEST"), " ");
  ::unsetenv("RAVIK_ENVIRONMENT_TEST");
}

TEST_F(EnvironmentTest, HomeComesFromThePasswordDatabaseWhenHomeIsUnsetOrEmpty) {
  ::setenv("HOME", "/some/home", 1);
  EXPECT_EQ(environment::home_directory(), "/some/home");
  ::setenv("HOME", "", 1);
  EXPECT_EQ(environment::home_directory(), database_home_);
  ::unsetenv("HOME");
  EXPECT_EQ(environment::home_directory(), database_home_);
  EXPECT_EQ(environment::home_directory_of(::getpwuid(::getuid())->pw_name), database_home_);
  EXPECT_EQ(environment::home_directory_of("no-such-user-of-ravik"), std::nullopt);
}

// CONFIG_DIR is read once per process, so each case runs in a child.
TEST_F(EnvironmentTest, ConfigDirWithoutHome) {
  EXPECT_EXIT(
      {
        ::setenv("HOME", "", 1);
        ::unsetenv("RAVIK_CONFIG_DIR");
        std::_Exit(config::CONFIG_DIR() == database_home_ / ".config" / "ravik" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        ::setenv("HOME", "", 1);
        ::setenv("RAVIK_CONFIG_DIR", "/elsewhere", 1);
        std::_Exit(config::CONFIG_DIR() == "/elsewhere" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(EnvironmentTest, NoHomeAnywhereIsAClearFailure) {
  if (::geteuid() != 0) GTEST_SKIP() << "taking a user id without a password entry needs root";
  ASSERT_EQ(::getpwuid(STRANGER), nullptr);
  EXPECT_FAILURE_WITHOUT_HOME(environment::home_directory(), "无法确定用户主目录：未设置 HOME.*uid 3999999");
  EXPECT_FAILURE_WITHOUT_HOME((::unsetenv("RAVIK_CONFIG_DIR"), config::CONFIG_DIR()),
                              "^无法确定配置目录，请设置 HOME 或 RAVIK_CONFIG_DIR$");
}

}  // namespace
}  // namespace ravik
