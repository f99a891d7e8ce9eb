// `ravik seller-sprite batch` end to end: the built program runs several
// searches in one browser against the stand-in site served by this test.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/account_prompt.h"
#include "cli/cli_test_support.h"
#include "cli/exit_codes.h"
#include "ravik/shared/file_io.h"
#include "standin/site.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::Environment;
using testing_support::ProcessTree;
using testing_support::stdout_json;
using testing_support::TempDir;

class BatchTest : public testing::Test {
 protected:
  void SetUp() override {
    origin_ = site_.start();
    std::ofstream(keywords_file_) << "# three keywords\nyoga mat\n\nfoam roller\nresistance band\n";
  }

  ProcessRequest batch_request(std::vector<std::string> args) {
    args.insert(args.begin(), {"seller-sprite", "batch"});
    args.insert(args.end(), {"--headless", "--pause", "0"});
    const Environment environment{{"RAVIK_SELLERSPRITE_ORIGIN", origin_},
                                  {kUsernameVariable, std::string(standin::kDemoUsername)},
                                  {kPasswordVariable, std::string(standin::kDemoPassword)}};
    return testing_support::ravik_request(args, temp_.path() / "config", temp_.path(), environment);
  }

  ProcessResult batch(std::vector<std::string> args) { return run_process(batch_request(std::move(args))); }

  // The lines of run_dir/results.jsonl, each parsed.
  std::vector<Json> result_lines() const {
    std::vector<Json> lines;
    std::istringstream text(ravik::shared::read_file(run_dir_ / "results.jsonl"));
    for (std::string line; std::getline(text, line);) lines.push_back(Json::parse(line));
    return lines;
  }

  // The statuses in the printed summary, item by item.
  static std::vector<std::string> statuses(const Json& summary) {
    std::vector<std::string> found;
    for (const Json& item : summary.at("items")) found.push_back(item.at("status").get<std::string>());
    return found;
  }

  // The lines in results.jsonl so far, the last one counted once it is whole.
  std::size_t recorded_line_count() const {
    if (!fs::exists(run_dir_ / "results.jsonl")) return 0;
    const std::string text = ravik::shared::read_file(run_dir_ / "results.jsonl");
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  }

  // The Chromium browser processes (not their helpers) below `root`.
  static std::vector<pid_t> browser_processes(pid_t root) {
    std::vector<pid_t> found;
    for (pid_t pid : testing_support::descendants(root)) {
      std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline");
      const std::string command_line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      if (command_line.find("chromium") != std::string::npos && command_line.find("--type=") == std::string::npos) {
        found.push_back(pid);
      }
    }
    return found;
  }

  // Runs `request` and sends the command `signal` once results.jsonl holds
  // `lines` lines; then waits for the driver and the browser to end (the
  // next run needs the profile they held), ending those that outlive a
  // grace period and failing the test for them.
  ProcessResult run_signalled(ProcessRequest& request, int signal, std::size_t lines) {
    bool sent = false;
    ProcessTree tree;
    request.on_progress = [&](pid_t pid, const std::string&) {
      if (sent) return;
      tree.note_descendants(pid);
      if (recorded_line_count() < lines) return;
      ::kill(pid, signal);
      sent = true;
    };
    ProcessResult result = run_process(request);
    EXPECT_TRUE(sent) << result.err;
    const std::vector<pid_t> left_running = tree.still_running(std::chrono::seconds(20));
    for (pid_t pid : left_running) ::kill(pid, SIGKILL);
    EXPECT_EQ(left_running, std::vector<pid_t>{});
    return result;
  }

  bool searched(const std::string& keyword) const {
    const std::vector<standin::RecordedRequest> requests = site_.requests_to(standin::kKeywordMinerApi);
    return std::any_of(requests.begin(), requests.end(),
                       [&](const standin::RecordedRequest& request) { return request.form && request.form->keyword == keyword; });
  }

  std::size_t searches() const { return site_.requests_to(standin::kKeywordMinerApi).size(); }

  standin::Site site_;
  std::string origin_;
  TempDir temp_;
  const fs::path keywords_file_ = temp_.path() / "keywords.txt";
  const fs::path run_dir_ = temp_.path() / "run";
};

TEST_F(BatchTest, KeywordsRunInOneBrowserWithOneLogin) {
  const ProcessResult run = batch({"--keywords-file", keywords_file_.string(), "--run-dir", run_dir_.string()});
  ASSERT_EQ(run.exit_code, kExitCompleted) << run.err;
  const Json summary = stdout_json(run);
  EXPECT_EQ(statuses(summary), (std::vector<std::string>{"completed", "completed", "completed"}));
  EXPECT_EQ(summary.at("counts").at("completed"), 3);

  // One automatic login, then each keyword searched once on the same page.
  std::size_t login_page_visits = 0;
  for (const standin::RecordedRequest& request : site_.requests_to(standin::kLoginPath)) {
    login_page_visits += request.method == "GET";
  }
  EXPECT_EQ(login_page_visits, 1u);
  std::vector<std::string> searched;
  for (const standin::RecordedRequest& request : site_.requests_to(standin::kKeywordMinerApi)) {
    searched.push_back(request.form.value().keyword);
  }
  EXPECT_EQ(searched, (std::vector<std::string>{"yoga mat", "foam roller", "resistance band"}));

  const std::vector<Json> lines = result_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].at("index"), 2);
  EXPECT_EQ(lines[1].at("item").at("keyword"), "foam roller");
  EXPECT_FALSE(is_empty_entry(lines[1].at("result"), "keyword_mining"));
  EXPECT_TRUE(lines[1].at("duration_s").is_number());
  EXPECT_TRUE(fs::is_regular_file(run_dir_ / "items" / "002_foam_roller" / "collect" / "keyword_mining.json"));
  EXPECT_NE(run.err.find("已完成    3"), std::string::npos) << run.err;

  // The exporter reads the batch's results, one row group per item.
  const ProcessResult exported = testing_support::run_ravik({"seller-sprite", "export", run_dir_.string()},
                                                            temp_.path() / "config", temp_.path());
  EXPECT_EQ(exported.exit_code, kExitCompleted) << exported.err;
  EXPECT_TRUE(fs::is_regular_file(run_dir_ / "export" / "keyword_mining.csv"));

  // Nothing is left to do: a resume starts no browser.
  const std::size_t searches_before = searches();
  const ProcessResult resumed = batch({"--resume", run_dir_.string()});
  EXPECT_EQ(resumed.exit_code, kExitCompleted) << resumed.err;
  EXPECT_EQ(searches(), searches_before);
}

TEST_F(BatchTest, BlockStopsTheBatchAndResumeFinishesIt) {
  site_.update_switches([](standin::Switches& switches) { switches.captcha = true; });
  const ProcessResult blocked = batch({"--keywords-file", keywords_file_.string(), "--run-dir", run_dir_.string()});
  EXPECT_EQ(blocked.exit_code, kExitBlocked) << blocked.err;
  EXPECT_EQ(statuses(stdout_json(blocked)), (std::vector<std::string>{"blocked", "pending", "pending"}));
  EXPECT_NE(blocked.err.find("请先执行 ravik seller-sprite login，再执行 ravik seller-sprite batch --resume " +
                             run_dir_.string()),
            std::string::npos)
      << blocked.err;
  EXPECT_EQ(result_lines().size(), 1u);

  // Once the captcha is solved, the resume runs the blocked item and the rest.
  site_.update_switches([](standin::Switches& switches) { switches.captcha = false; });
  fs::remove(keywords_file_);  // the run directory holds all a resume needs
  const ProcessResult resumed = batch({"--resume", run_dir_.string()});
  EXPECT_EQ(resumed.exit_code, kExitCompleted) << resumed.err;
  EXPECT_EQ(statuses(stdout_json(resumed)), (std::vector<std::string>{"completed", "completed", "completed"}));
  EXPECT_EQ(result_lines().size(), 4u);
  EXPECT_EQ(searches(), 3u);
}

TEST_F(BatchTest, FailedItemIsRecordedAndTheBatchGoesOn) {
  site_.update_switches([](standin::Switches& switches) { switches.broken_keyword = "foam roller"; });
  const ProcessResult run = batch({"--keywords-file", keywords_file_.string(), "--run-dir", run_dir_.string()});
  EXPECT_EQ(run.exit_code, kExitIncomplete) << run.err;
  EXPECT_EQ(statuses(stdout_json(run)), (std::vector<std::string>{"completed", "failed", "completed"}));
  const std::vector<Json> lines = result_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_FALSE(lines[1].contains("result"));
  EXPECT_NE(lines[1].at("error").at("message").get<std::string>().find("Timeout"), std::string::npos) << lines[1];
  // The page as it was when the item failed is kept with the item.
  EXPECT_TRUE(fs::is_regular_file(run_dir_ / "items" / "002_foam_roller" / "failure" / "error.txt"));
  EXPECT_NE(run.err.find("失败      1"), std::string::npos) << run.err;
}

TEST_F(BatchTest, BrowserThatDiesIsStartedAgainOnceAndTheSecondDeathStops) {
  // A killed browser may take a fresh login with it (its cookies are saved
  // lazily), and the batch logs in only once: the profile is logged in by a
  // run that closed its browser in order.
  const fs::path one_keyword = temp_.path() / "one.txt";
  std::ofstream(one_keyword) << "warm up\n";
  ASSERT_EQ(batch({"--keywords-file", one_keyword.string(), "--run-dir", (temp_.path() / "login").string()}).exit_code,
            kExitCompleted);
  std::ofstream(keywords_file_, std::ios::app) << "jump rope\n";
  ProcessRequest request = batch_request({"--keywords-file", keywords_file_.string(), "--run-dir", run_dir_.string()});
  // The browser is killed once the second item's search arrived, and its
  // successor once the third item's did.
  const std::vector<std::string> doomed = {"foam roller", "resistance band"};
  std::size_t deaths = 0;
  ProcessTree tree;
  request.on_progress = [&](pid_t pid, const std::string&) {
    tree.note_descendants(pid);
    if (deaths == doomed.size() || !searched(doomed[deaths])) return;
    for (pid_t browser : browser_processes(pid)) ::kill(browser, SIGKILL);
    ++deaths;
  };
  const ProcessResult run = run_process(request);
  EXPECT_EQ(deaths, 2u);
  EXPECT_EQ(run.exit_code, kExitError) << run.err;
  EXPECT_EQ(statuses(stdout_json(run)), (std::vector<std::string>{"completed", "failed", "failed", "pending"}));
  EXPECT_NE(run.err.find("浏览器两次意外退出，批量已停止"), std::string::npos) << run.err;
  EXPECT_EQ(tree.still_running(std::chrono::seconds(20)), std::vector<pid_t>{});
}

TEST_F(BatchTest, InterruptedOrKilledBatchLosesOnlyTheItemInProgress) {
  // Ctrl-C once the first item is recorded: the browser closes in order, the
  // item in progress is left to the resume.
  ProcessRequest interrupt_request =
      batch_request({"--keywords-file", keywords_file_.string(), "--run-dir", run_dir_.string()});
  const ProcessResult interrupted = run_signalled(interrupt_request, SIGINT, 1);
  EXPECT_EQ(interrupted.exit_code, 128 + SIGINT) << interrupted.err;
  EXPECT_NE(interrupted.err.find("已中断；已完成的各项已保存，可执行 ravik seller-sprite batch --resume " + run_dir_.string()),
            std::string::npos)
      << interrupted.err;
  const std::size_t after_interrupt = result_lines().size();
  ASSERT_EQ(after_interrupt, 1u);

  // SIGKILL of the resumed run once it recorded one more item: nothing can
  // be closed in order, and still only whole lines are left.
  ProcessRequest kill_request = batch_request({"--resume", run_dir_.string()});
  const ProcessResult killed = run_signalled(kill_request, SIGKILL, after_interrupt + 1);
  EXPECT_EQ(killed.exit_code, 128 + SIGKILL);
  EXPECT_TRUE(ravik::shared::read_file(run_dir_ / "results.jsonl").ends_with('\n'));
  const std::size_t after_kill = result_lines().size();
  ASSERT_EQ(after_kill, 2u);

  const ProcessResult resumed = batch({"--resume", run_dir_.string()});
  EXPECT_EQ(resumed.exit_code, kExitCompleted) << resumed.err;
  EXPECT_EQ(statuses(stdout_json(resumed)), (std::vector<std::string>{"completed", "completed", "completed"}));
  EXPECT_EQ(result_lines().size(), 3u) << "only the items without a line ran again";
}

}  // namespace
}  // namespace ravik::cli
