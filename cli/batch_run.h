// Running the items of a batch one after another in one browser session:
// each item's flow on the session's page, its line appended to the results
// before the next starts, a pause between items, and the rules for when the
// batch stops (a block, a browser that died twice, an interrupt).
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "cli/batch_jobs.h"
#include "cli/batch_results.h"
#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/scraping/browser_session.h"

namespace ravik::cli {

struct BatchPlan {
  std::vector<BatchJob> jobs;       // every item of the run, item number i + 1 at i
  std::vector<std::size_t> to_run;  // item numbers (1-based) to run now, in order
  std::filesystem::path run_dir;
  std::chrono::milliseconds pause{0};          // between items, before jitter
  std::optional<Json> account = std::nullopt;  // for the one automatic login
};

// What the loop tells its watcher.
struct BatchWatch {
  // An item is about to start: `position` of `count` in this run.
  std::function<void(std::size_t position, std::size_t count, const BatchJob& job)> item_starting;
  // True once the user asked the batch to stop.
  std::function<bool()> interrupted;
};

// Why the batch ended before its last item; "stopped" in the summary.
inline constexpr std::string_view kStoppedBlocked = "blocked";
inline constexpr std::string_view kStoppedBrowserLost = "browser_lost";
inline constexpr std::string_view kStoppedInterrupted = "interrupted";

// The folder of item number `index`: run_dir/items/NNN_<slug of its keyword or ASIN>.
std::filesystem::path item_folder(const std::filesystem::path& run_dir, std::size_t index, const BatchJob& job);

// The pause before the next item: `pause` scaled by a random factor from
// 0.5 to 1.5.
std::chrono::milliseconds jittered(std::chrono::milliseconds pause);

// Runs plan.to_run on `session`, which is open, and appends each finished
// item's line to `log`. The account goes with the items until one of them
// answered a result, so the flows log in at most once. A failed item is
// recorded and the batch goes on; when the browser no longer answers after
// it, the session is opened anew once, and the batch stops the second
// time. It also stops at the first blocked item and when
// `watch.interrupted()` turns true (the item in progress is not recorded).
// Answers {"stopped": null or a kStopped... text, "stopped_at": the item
// number or null, "browser_failure": the reason a new browser could not be
// opened, or null}. A results line that cannot be written fails the run.
asio::awaitable<Json> run_batch_items(seller_sprite_legacy::scraping::BrowserSession& session,
                                      const BatchPlan& plan, ResultsLog& log, const BatchWatch& watch);

// "第 i/N 项：<subject>，剩余约 <time>" with the time left estimated from the
// `finished` items that took `spent` so far; without a finished item the
// estimate is left out.
std::string progress_label(std::size_t position, std::size_t count, const std::string& subject, std::size_t finished,
                           std::chrono::steady_clock::duration spent);

}  // namespace ravik::cli
