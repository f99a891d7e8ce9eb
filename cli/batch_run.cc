#include "cli/batch_run.h"

#include <cstdio>
#include <exception>
#include <random>

#include "cli/progress_steps.h"
#include "ravik/error.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using seller_sprite_legacy::scraping::BrowserSession;
using seller_sprite_legacy::scraping::PageCollectArgs;
using seller_sprite_legacy::scraping::SellerSpriteScraper;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The flow of `job` on an open page: all sections of a keyword, or the
// keyword reverse of an ASIN.
std::function<asio::awaitable<Json>(playwright::Page)> item_flow(const SellerSpriteScraper& scraper,
                                                                 const BatchJob& job, fs::path folder,
                                                                 std::optional<Json> account) {
  return [&scraper, &job, folder = std::move(folder), account = std::move(account)](playwright::Page page) {
    PageCollectArgs args{.options = job.options, .run_dir = folder, .account = account};
    if (job.kind == JobKind::asin) return scraper._collect_keyword_reverse_with_page(page, std::move(args));
    return scraper._collect_all_sections_with_page(page, std::move(args));
  };
}

Json stop_report(std::optional<std::string_view> stopped, std::optional<std::size_t> at, std::string browser_failure) {
  Json report = Json::object();
  report["stopped"] = stopped ? Json(*stopped) : Json(nullptr);
  report["stopped_at"] = at ? Json(*at) : Json(nullptr);
  report["browser_failure"] = browser_failure.empty() ? Json(nullptr) : Json(std::move(browser_failure));
  return report;
}

// Closes the session whose browser died; the browser is gone already, so
// what its closing says does not matter.
asio::awaitable<void> close_dead(BrowserSession& session) {
  try {
    co_await session.close();
  } catch (const std::exception&) {
  }
}

// Closes the session whose browser died and opens a new one; answers the
// reason when that failed, else the empty text.
asio::awaitable<std::string> reopen(BrowserSession& session) {
  co_await close_dead(session);
  std::exception_ptr failure;
  try {
    co_await session.open();
  } catch (...) {
    failure = std::current_exception();
  }
  co_return failure ? failure_messages(failure).front() : std::string();
}

// After a failure on the session's page: nothing when the browser still
// answers, or when it died for the first time (`reopened` then turns true)
// and a new one was opened; else the report of why the batch stops at item
// number `index`.
asio::awaitable<std::optional<Json>> recover_browser(BrowserSession& session, bool& reopened, std::size_t index) {
  if (co_await session.answers()) co_return std::nullopt;
  if (reopened) {
    co_await close_dead(session);
    co_return stop_report(kStoppedBrowserLost, index, "");
  }
  reopened = true;
  std::string reason = co_await reopen(session);
  if (reason.empty()) co_return std::nullopt;
  co_return stop_report(kStoppedBrowserLost, index, std::move(reason));
}

}  // namespace

fs::path item_folder(const fs::path& run_dir, std::size_t index, const BatchJob& job) {
  char number[24];
  std::snprintf(number, sizeof number, "%03zu", index);
  return run_dir / "items" / (std::string(number) + "_" + SellerSpriteScraper::_slug(job_subject(job)));
}

std::chrono::milliseconds jittered(std::chrono::milliseconds pause) {
  static thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_real_distribution<double> factor(0.5, 1.5);
  return std::chrono::milliseconds(static_cast<long long>(static_cast<double>(pause.count()) * factor(random)));
}

asio::awaitable<Json> run_batch_items(BrowserSession& session, const BatchPlan& plan, ResultsLog& log,
                                      const BatchWatch& watch) {
  const SellerSpriteScraper& scraper = session.scraper();
  std::optional<Json> account = plan.account;
  bool reopened = false;
  for (std::size_t position = 0; position < plan.to_run.size(); ++position) {
    const std::size_t index = plan.to_run[position];
    const BatchJob& job = plan.jobs.at(index - 1);
    if (position > 0 && plan.pause.count() > 0) {
      std::exception_ptr pause_failure;
      try {
        co_await session.page().wait_for_timeout(jittered(plan.pause));
      } catch (...) {
        pause_failure = std::current_exception();
      }
      if (watch.interrupted()) co_return stop_report(kStoppedInterrupted, index, "");
      if (pause_failure) {
        if (std::optional<Json> stop = co_await recover_browser(session, reopened, index)) co_return std::move(*stop);
      }
    }
    if (watch.interrupted()) co_return stop_report(kStoppedInterrupted, index, "");
    watch.item_starting(position + 1, plan.to_run.size(), job);

    const fs::path folder = item_folder(plan.run_dir, index, job);
    const Clock::time_point item_start = Clock::now();
    std::optional<Json> result;
    std::exception_ptr failure;
    try {
      result = co_await session.run(item_flow(scraper, job, folder, account), folder);
    } catch (...) {
      failure = std::current_exception();
    }
    if (watch.interrupted()) co_return stop_report(kStoppedInterrupted, index, "");
    const Json item = job_record(job);
    if (result) {
      account.reset();  // the profile holds the login from here on, or the batch stops
      log.append(result_line(index, item, *result, seconds_since(item_start)));
      if (status_of_result(*result) == kBlocked) co_return stop_report(kStoppedBlocked, index, "");
      continue;
    }
    log.append(failure_line(index, item, failure, seconds_since(item_start)));
    if (std::optional<Json> stop = co_await recover_browser(session, reopened, index)) co_return std::move(*stop);
  }
  co_return stop_report(std::nullopt, std::nullopt, "");
}

std::string progress_label(std::size_t position, std::size_t count, const std::string& subject, std::size_t finished,
                           Clock::duration spent) {
  std::string label = "第 " + std::to_string(position) + "/" + std::to_string(count) + " 项：" + subject;
  if (finished > 0) {
    const auto per_item = spent / static_cast<long long>(finished);
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(per_item * static_cast<long long>(count - position + 1));
    label += "，剩余约 " + duration_text(left);
  }
  return label;
}

}  // namespace ravik::cli
