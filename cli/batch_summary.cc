#include "cli/batch_summary.h"

#include <array>
#include <string_view>

#include "cli/batch_results.h"
#include "cli/batch_run.h"

namespace ravik::cli {
namespace {

struct StatusName {
  std::string_view status;
  std::string_view shown;  // as the table shows it
};

constexpr std::array<StatusName, 5> kStatusNames{{
    {kCompleted, "已完成  "},
    {kIncomplete, "部分完成"},
    {kBlocked, "受阻    "},
    {kFailed, "失败    "},
    {kPending, "未运行  "},
}};

std::string text_entry(const Json& stop, const char* key) {
  const auto found = stop.find(key);
  return found != stop.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::string resume_command(const std::filesystem::path& run_dir) {
  return "ravik seller-sprite batch --resume " + run_dir.string();
}

BatchSummary summarize_batch(const std::filesystem::path& run_dir, const std::vector<BatchJob>& jobs,
                             const std::map<std::size_t, std::string>& statuses, const Json& stop) {
  Json counts = Json::object();
  for (const StatusName& name : kStatusNames) counts[std::string(name.status)] = 0;
  Json items = Json::array();
  for (std::size_t index = 1; index <= jobs.size(); ++index) {
    const auto recorded = statuses.find(index);
    const std::string status = recorded == statuses.end() ? std::string(kPending) : recorded->second;
    if (counts.contains(status)) counts[status] = counts[status].get<int>() + 1;
    Json item = job_record(jobs[index - 1]);
    Json entry{{"index", index}};
    for (const char* key : {"keyword", "asin"}) {
      if (item.contains(key)) entry[key] = item[key];
    }
    entry["status"] = status;
    entry["folder"] = item_folder(run_dir, index, jobs[index - 1]).string();
    items.push_back(std::move(entry));
  }

  const std::string stopped = text_entry(stop, "stopped");
  BatchSummary summary;
  summary.json = Json{{"run_dir", run_dir.string()},
                      {"results", (run_dir / "results.jsonl").string()},
                      {"total", jobs.size()},
                      {"counts", counts},
                      {"stopped", stopped.empty() ? Json(nullptr) : Json(stopped)},
                      {"stopped_at", stop.value("stopped_at", Json(nullptr))},
                      {"items", std::move(items)}};

  std::string& text = summary.text;
  text = "batch：共 " + std::to_string(jobs.size()) + " 项\n";
  for (const StatusName& name : kStatusNames) {
    text += "  " + std::string(name.shown) + "  " + std::to_string(counts[std::string(name.status)].get<int>()) + '\n';
  }
  text += "  结果：" + (run_dir / "results.jsonl").string() + '\n';
  const bool all_completed = counts[std::string(kCompleted)].get<std::size_t>() == jobs.size();
  if (stopped == kStoppedBlocked) {
    const Json& at = stop.at("stopped_at");
    text += "  第 " + at.dump() + " 项受阻（未登录或出现验证码），批量已停止：请先执行 ravik seller-sprite login，再执行 " +
            resume_command(run_dir) + " 继续\n";
    summary.exit_status = kExitBlocked;
  } else if (stopped == kStoppedBrowserLost) {
    const std::string reason = text_entry(stop, "browser_failure");
    text += "  浏览器两次意外退出，批量已停止" + (reason.empty() ? std::string() : "（" + reason + "）") + "：稍后执行 " +
            resume_command(run_dir) + " 继续\n";
    summary.exit_status = kExitError;
  } else if (all_completed) {
    summary.exit_status = kExitCompleted;
  } else {
    text += "  未完成的各项可执行 " + resume_command(run_dir) + " 重新采集\n";
    summary.exit_status = kExitIncomplete;
  }
  return summary;
}

}  // namespace ravik::cli
