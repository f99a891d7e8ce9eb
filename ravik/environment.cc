#include "ravik/environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace ravik::environment {
namespace {

// Looks up one password-database entry with `lookup(entry, buffer, size,
// result)`, growing the buffer while the entry does not fit; the entry's home
// directory, or none when there is no entry or it names no directory.
template <typename Lookup>
std::optional<std::filesystem::path> home_from_password_database(Lookup lookup) {
  std::vector<char> buffer(4096);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int status = lookup(&entry, buffer.data(), buffer.size(), &found);
    if (status == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0 || found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') return std::nullopt;
    return std::filesystem::path(found->pw_dir);
  }
}

}  // namespace

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::filesystem::path home_directory() {
  if (std::optional<std::string> home = variable("HOME")) return *home;
  const uid_t uid = ::getuid();
  const std::optional<std::filesystem::path> home =
      home_from_password_database([uid](passwd* entry, char* buffer, std::size_t size, passwd** found) {
        return ::getpwuid_r(uid, entry, buffer, size, found);
      });
  if (!home) {
    throw std::runtime_error("无法确定用户主目录：未设置 HOME，系统用户数据库中也没有当前用户（uid " +
                             std::to_string(uid) + "）的主目录");
  }
  return *home;
}

std::optional<std::filesystem::path> home_directory_of(const std::string& name) {
  return home_from_password_database([&name](passwd* entry, char* buffer, std::size_t size, passwd** found) {
    return ::getpwnam_r(name.c_str(), entry, buffer, size, found);
  });
}

}  // namespace ravik::environment
