// The batch's parts that need no browser: reading its input, its results
// file, and its summary.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "cli/batch_jobs.h"
#include "cli/batch_results.h"
#include "cli/batch_run.h"
#include "cli/batch_summary.h"
#include "ravik/shared/file_io.h"
#include "tests/support/temp_dir.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using seller_sprite_legacy::domain::SellerSpriteCollectOptions;

// The message of the BatchInputError that `read` throws, or "" when it throws none.
template <typename Read>
std::string input_error(Read read) {
  try {
    read();
  } catch (const BatchInputError& error) {
    return error.what();
  }
  return "";
}

TEST(BatchJobsTest, ListSkipsCommentsAndBlankLinesAndTakesTheDefaults) {
  SellerSpriteCollectOptions defaults;
  defaults.site = "jp";
  defaults.trend_limit = 2;
  const std::vector<BatchJob> jobs =
      jobs_from_list("\xEF\xBB\xBF# heading\r\n  yoga mat  \r\n\n#skipped\nfoam roller", JobKind::keyword, defaults, "f");
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(job_subject(jobs[0]), "yoga mat");
  EXPECT_EQ(job_subject(jobs[1]), "foam roller");
  EXPECT_EQ(job_record(jobs[1]), Json::parse(R"({"keyword": "foam roller", "site": "jp", "period": "30d",
      "phrase_count": 1, "trend_limit": 2, "trend_tabs": "all"})"));

  const std::vector<BatchJob> asins = jobs_from_list("B0C1234567\n", JobKind::asin, {}, "f");
  EXPECT_EQ(job_record(asins.at(0)), Json::parse(R"({"asin": "B0C1234567", "site": "us", "period": "30d",
      "trend_limit": 0, "trend_tabs": "all"})"));

  EXPECT_EQ(input_error([] { return jobs_from_list("a\n" + std::string(201, 'x') + "\n", JobKind::keyword, {}, "关键词文件 k"); }),
            "关键词文件 k 第 2 行：keyword 最长 200 个字符，收到 201 个");
  EXPECT_EQ(input_error([] { return jobs_from_list("# only a comment\n\n", JobKind::asin, {}, "ASIN 文件 a"); }),
            "ASIN 文件 a 中没有要采集的条目");
}

TEST(BatchJobsTest, JobLinesAreCheckedWithTheLineNamed) {
  struct Case {
    const char* line;
    const char* problem;  // "" for a good line
  };
  const Case cases[] = {
      {R"({"keyword": "yoga mat", "site": "de", "phrase_count": 2, "trend_limit": 0, "trend_tabs": "aba, ppc"})", ""},
      {R"({"asin": "B0C1234567"})", ""},
      {R"(["yoga mat"])", "须为一个 JSON 对象"},
      {R"({"keyword": "yoga mat")", "不是有效的 JSON"},
      {R"({"keyword": "yoga mat", "pages": 3})", "未知字段 pages（可用字段：keyword, asin, site, period, phrase_count, trend_limit, trend_tabs）"},
      {R"({"site": "us"})", "须有 keyword 与 asin 中的恰好一个"},
      {R"({"keyword": "a", "asin": "B0C1234567"})", "须有 keyword 与 asin 中的恰好一个"},
      {R"({"keyword": 7})", "字段 keyword 须为文本，收到 7"},
      {R"({"keyword": "  "})", "keyword 不能为空"},
      {R"({"keyword": "a", "site": "xx"})", "字段 site 须为 us, jp, uk, de, fr, it, es, ca, mx, in, br, au, ae 之一，收到 xx"},
      {R"({"keyword": "a", "period": "7d"})", "字段 period 须为 30d 之一，收到 7d"},
      {R"({"keyword": "a", "phrase_count": "2"})", "字段 phrase_count 须为整数，收到 \"2\""},
      {R"({"keyword": "a", "phrase_count": 1.5})", "字段 phrase_count 须为整数，收到 1.5"},
      {R"({"keyword": "a", "phrase_count": 0})", "字段 phrase_count 须为 1 到 2147483647 之间的整数，收到 0"},
      {R"({"keyword": "a", "trend_limit": -1})", "字段 trend_limit 须为 0 到 2147483647 之间的整数，收到 -1"},
      {R"({"keyword": "a", "trend_limit": 99999999999})", "字段 trend_limit 须为 0 到 2147483647 之间的整数，收到 99999999999"},
      {R"({"keyword": "a", "trend_tabs": "search,weather"})",
       "字段 trend_tabs 未知的趋势标签：weather；可用 all，或以逗号分隔的 search,google,aba,ppc,market 中的若干个"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    // A good first line and a blank one: the problem is on line 3.
    const std::string text = std::string(R"({"keyword": "first"})") + "\n\n" + c.line + "\n";
    const std::string error = input_error([&] { return jobs_from_json_lines(text, {}, "任务文件 j"); });
    EXPECT_EQ(error, *c.problem ? "任务文件 j 第 3 行：" + std::string(c.problem) : "");
  }
}

TEST(BatchJobsTest, KeptRecordsReadBackUnchanged) {
  SellerSpriteCollectOptions defaults;
  defaults.period = "30d";
  defaults.frequency_phrase_count = 3;
  const std::vector<BatchJob> jobs = jobs_from_json_lines(
      "{\"keyword\": \"瑜伽垫\", \"trend_tabs\": \"aba\"}\n{\"asin\": \"B0C1234567\", \"site\": \"uk\"}\n", defaults, "j");
  std::string kept;
  for (const BatchJob& job : jobs) kept += job_record(job).dump() + "\n";
  const std::vector<BatchJob> again = jobs_from_json_lines(kept, {}, "kept");
  ASSERT_EQ(again.size(), jobs.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) EXPECT_EQ(job_record(again[i]), job_record(jobs[i]));
  EXPECT_EQ(again[0].options.frequency_phrase_count, 3);
  EXPECT_EQ(again[1].kind, JobKind::asin);
}

TEST(BatchResultsTest, LinesAreWholeAndTheLatestStatusCounts) {
  const test_support::TempDir temp;
  const fs::path file = temp.path() / "results.jsonl";
  const Json item{{"keyword", "yoga mat"}};
  const Json completed{{"frequency", Json{{"data", 1}}}, {"missing_sections", Json::array()}, {"errors", Json::array()}};
  const Json blocked{{"captcha_required", true}, {"missing_sections", Json::array({"frequency"})}};
  {
    ResultsLog log(file);
    log.append(result_line(1, item, blocked, 1.5));
    log.append(failure_line(2, item, std::make_exception_ptr(std::runtime_error("page gone")), 0.25));
  }
  // A run killed while writing its third line.
  std::ofstream(file, std::ios::app) << R"({"index": 3, "status": "comp)";
  EXPECT_EQ(recorded_statuses(file), (std::map<std::size_t, std::string>{{1, "blocked"}, {2, "failed"}}));
  {
    ResultsLog log(file);  // cuts the torn line off
    log.append(result_line(1, item, completed, 2));
  }
  const std::string text = ravik::shared::read_file(file);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_EQ(text.find("comp)"), std::string::npos);
  EXPECT_EQ(recorded_statuses(file), (std::map<std::size_t, std::string>{{1, "completed"}, {2, "failed"}}));

  const Json failed = Json::parse(text.substr(text.find('\n') + 1, text.find('\n', text.find('\n') + 1) - text.find('\n') - 1));
  EXPECT_EQ(failed, Json::parse(R"({"index": 2, "item": {"keyword": "yoga mat"}, "status": "failed",
      "error": {"message": "page gone", "causes": []}, "duration_s": 0.25})"));
  EXPECT_EQ(recorded_statuses(temp.path() / "absent.jsonl"), (std::map<std::size_t, std::string>{}));
}

TEST(BatchResultsTest, AFullDiskLeavesNoTornLineAndAFifoIsRefused) {
  const test_support::TempDir temp;
  const fs::path file = temp.path() / "results.jsonl";
  const Json item{{"keyword", "yoga mat"}};
  const Json completed{{"missing_sections", Json::array()}, {"errors", Json::array()}};
  ResultsLog log(file);
  log.append(result_line(1, item, completed, 1));
  const auto whole = fs::file_size(file);
  {
    // The file may grow by 20 more bytes only: the next line is cut short
    // as on a full disk.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = whole + 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(log.append(result_line(2, item, completed, 1)), std::runtime_error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, saved_handler);
  }
  EXPECT_EQ(fs::file_size(file), whole);
  log.append(result_line(2, item, completed, 1));
  EXPECT_EQ(recorded_statuses(file), (std::map<std::size_t, std::string>{{1, "completed"}, {2, "completed"}}));

  const fs::path fifo = temp.path() / "fifo.jsonl";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(ResultsLog{fifo}, std::runtime_error);
}

TEST(BatchResultsTest, StatusFollowsTheResult) {
  const Json incomplete{{"missing_sections", Json::array({"frequency"})}, {"errors", Json::array()}};
  const Json login{{"errors", Json::array({Json{{"code", "SELLER_SPRITE_LOGIN_REQUIRED"}}})}};
  EXPECT_EQ(status_of_result(Json{{"missing_sections", Json::array()}}), kCompleted);
  EXPECT_EQ(status_of_result(incomplete), kIncomplete);
  EXPECT_EQ(status_of_result(login), kBlocked);
}

TEST(BatchSummaryTest, ExitStatusAndTable) {
  const std::vector<BatchJob> jobs = jobs_from_list("a\nb\nc\n", JobKind::keyword, {}, "f");
  const fs::path run_dir = "/runs/r";
  struct Case {
    const char* name;
    std::map<std::size_t, std::string> statuses;
    Json stop;
    ExitCode exit_status;
    const char* hint;
  };
  const Case cases[] = {
      {"all completed", {{1, "completed"}, {2, "completed"}, {3, "completed"}}, Json::object(), kExitCompleted, ""},
      {"one failed", {{1, "completed"}, {2, "failed"}, {3, "completed"}}, Json::object(), kExitIncomplete,
       "未完成的各项可执行 ravik seller-sprite batch --resume /runs/r 重新采集"},
      {"blocked", {{1, "completed"}, {2, "blocked"}}, Json{{"stopped", "blocked"}, {"stopped_at", 2}}, kExitBlocked,
       "第 2 项受阻（未登录或出现验证码），批量已停止：请先执行 ravik seller-sprite login，再执行 ravik seller-sprite "
       "batch --resume /runs/r 继续"},
      {"browser lost", {{1, "failed"}, {2, "failed"}}, Json{{"stopped", "browser_lost"}, {"stopped_at", 2}}, kExitError,
       "浏览器两次意外退出，批量已停止：稍后执行 ravik seller-sprite batch --resume /runs/r 继续"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BatchSummary summary = summarize_batch(run_dir, jobs, c.statuses, c.stop);
    EXPECT_EQ(summary.exit_status, c.exit_status);
    EXPECT_EQ(summary.json.at("total"), 3);
    std::size_t counted = 0;
    for (const auto& [status, count] : summary.json.at("counts").items()) counted += count.get<std::size_t>();
    EXPECT_EQ(counted, 3u);
    EXPECT_EQ(summary.json.at("items").at(1).at("folder"), "/runs/r/items/002_b");
    if (*c.hint) {
      EXPECT_NE(summary.text.find(c.hint), std::string::npos) << summary.text;
    }
  }
  const BatchSummary blocked = summarize_batch(run_dir, jobs, cases[2].statuses, cases[2].stop);
  EXPECT_EQ(blocked.json.at("counts"), Json::parse(R"({"completed": 1, "incomplete": 0, "blocked": 1, "failed": 0, "pending": 1})"));
  EXPECT_EQ(blocked.json.at("items").at(2).at("status"), "pending");
}

TEST(BatchProgressTest, LabelEstimatesTheTimeLeftFromFinishedItems) {
  using std::chrono::seconds;
  EXPECT_EQ(progress_label(1, 10, "yoga mat", 0, seconds(0)), "第 1/10 项：yoga mat");
  // Two items took 80 s: eight more (this one included) take 320 s.
  EXPECT_EQ(progress_label(3, 10, "foam roller", 2, seconds(80)), "第 3/10 项：foam roller，剩余约 5m20s");
  EXPECT_EQ(progress_label(10, 10, "band", 9, seconds(9 * 500)), "第 10/10 项：band，剩余约 8m20s");
  EXPECT_EQ(progress_label(2, 300, "x", 1, seconds(20)), "第 2/300 项：x，剩余约 1h39m40s");
}

TEST(BatchProgressTest, PauseJitterStaysWithinHalfEitherWay) {
  for (int i = 0; i < 200; ++i) {
    const auto pause = jittered(std::chrono::milliseconds(8000));
    ASSERT_GE(pause.count(), 4000);
    ASSERT_LE(pause.count(), 12000);
  }
  EXPECT_EQ(jittered(std::chrono::milliseconds(0)).count(), 0);
}

}  // namespace
}  // namespace ravik::cli
