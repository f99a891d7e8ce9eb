#include "cli/batch_results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/result_summary.h"
#include "ravik/error.h"
#include "ravik/shared/file_io.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail_on(const fs::path& file, const char* what) {
  throw std::runtime_error(std::string(what) + " " + file.string() + "：" + std::strerror(errno));
}

Json line_head(std::size_t index, const Json& item, std::string_view status) {
  return Json{{"index", index}, {"item", item}, {"status", status}};
}

// Seconds rounded to tenths of a millisecond, enough for people and sums.
double rounded_seconds(double seconds) { return static_cast<double>(static_cast<long long>(seconds * 10000 + 0.5)) / 10000; }

}  // namespace

std::string_view status_of_result(const Json& result) {
  switch (result_exit_code(result)) {
    case kExitBlocked:
      return kBlocked;
    case kExitIncomplete:
      return kIncomplete;
    default:
      return kCompleted;
  }
}

Json result_line(std::size_t index, const Json& item, const Json& result, double duration_s) {
  Json line = line_head(index, item, status_of_result(result));
  line["result"] = result;
  line["duration_s"] = rounded_seconds(duration_s);
  return line;
}

Json failure_line(std::size_t index, const Json& item, std::exception_ptr failure, double duration_s) {
  Json line = line_head(index, item, kFailed);
  std::vector<std::string> messages = failure_messages(failure);
  Json causes = Json::array();
  for (std::size_t i = 1; i < messages.size(); ++i) causes.push_back(messages[i]);
  line["error"] = Json{{"message", messages.empty() ? std::string() : messages.front()}, {"causes", std::move(causes)}};
  line["duration_s"] = rounded_seconds(duration_s);
  return line;
}

std::map<std::size_t, std::string> recorded_statuses(const fs::path& file) {
  std::map<std::size_t, std::string> statuses;
  if (!fs::exists(file)) return statuses;
  std::string text;
  try {
    text = ravik::shared::read_file(file);
  } catch (const std::exception&) {
    std::throw_with_nested(std::runtime_error("无法读取批量结果 " + file.string()));
  }
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const Json line = Json::parse(std::string_view(text).substr(start, end - start), nullptr, false);
    start = end + 1;
    if (!line.is_object()) continue;
    const auto index = line.find("index");
    const auto status = line.find("status");
    if (index == line.end() || !index->is_number_unsigned() || status == line.end() || !status->is_string()) continue;
    statuses[index->get<std::size_t>()] = status->get<std::string>();
  }
  return statuses;
}

ResultsLog::ResultsLog(fs::path file) : file_(std::move(file)) {
  descriptor_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (descriptor_ < 0) fail_on(file_, "无法打开批量结果");
  const auto fail_closing = [this](const char* what) {
    const int error = errno;
    ::close(descriptor_);
    errno = error;
    fail_on(file_, what);
  };
  struct stat info {};
  if (::fstat(descriptor_, &info) != 0) fail_closing("无法读取批量结果");
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    fail_closing("批量结果不是普通文件：");
  }
  // Cuts a torn last line back to the end of the last whole one.
  const off_t size = ::lseek(descriptor_, 0, SEEK_END);
  off_t keep = size;
  char block[65536];
  bool found = false;
  while (keep > 0 && !found) {
    const off_t start = keep > static_cast<off_t>(sizeof block) ? keep - static_cast<off_t>(sizeof block) : 0;
    const ssize_t got = ::pread(descriptor_, block, static_cast<std::size_t>(keep - start), start);
    if (got != keep - start) fail_closing("无法读取批量结果");
    while (keep > start && !found) {
      found = block[keep - start - 1] == '\n';
      if (!found) --keep;
    }
  }
  if (keep != size && ::ftruncate(descriptor_, keep) != 0) fail_closing("无法修复批量结果");
}

ResultsLog::~ResultsLog() { ::close(descriptor_); }

void ResultsLog::append(const Json& line) {
  const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
  const off_t end = ::lseek(descriptor_, 0, SEEK_END);
  const ssize_t written = ::write(descriptor_, text.data(), text.size());
  if (written != static_cast<ssize_t>(text.size())) {
    const int error = written >= 0 ? ENOSPC : errno;
    // No torn line stays behind for the next item's line to be glued to.
    const bool cut_back = end >= 0 && ::ftruncate(descriptor_, end) == 0;
    errno = error;
    fail_on(file_, cut_back ? "无法写入批量结果" : "无法写入批量结果（末行不完整，继续运行时会修复）");
  }
  if (::fdatasync(descriptor_) != 0) fail_on(file_, "无法写入批量结果");
}

}  // namespace ravik::cli
