#include "ravik/seller_sprite_legacy/scraping/internal/failure_archive.h"

#include <optional>
#include <string>
#include <vector>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "playwright/error.h"
#include "ravik/error.h"
#include "ravik/shared/file_io.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using Clock = std::chrono::steady_clock;

// What could be taken from the page, and why the rest could not.
struct PageCapture {
  std::optional<std::string> html;
  std::optional<std::string> png;
  std::vector<std::string> problems;
};

// Takes the page's HTML, then its full-page screenshot, into `capture`.
// Whatever a call answers after `deadline` is dropped: a call cut short by
// the budget answers nothing meaningful.
asio::awaitable<void> capture_page(playwright::Page page, Clock::time_point deadline, PageCapture& capture) {
  std::optional<std::string> failed;
  try {
    std::string html = co_await page.content();
    if (Clock::now() < deadline) capture.html = std::move(html);
  } catch (const std::exception& error) {
    failed = error.what();
  }
  if (failed && Clock::now() < deadline) capture.problems.push_back("page.html：" + *failed);
  failed.reset();
  playwright::ScreenshotOptions whole_page;
  whole_page.full_page = true;
  whole_page.timeout = std::chrono::duration_cast<std::chrono::milliseconds>(kFailureArchiveBudget);
  try {
    std::string png = co_await page.screenshot(whole_page);
    if (Clock::now() < deadline) capture.png = std::move(png);
  } catch (const std::exception& error) {
    failed = error.what();
  }
  if (failed && Clock::now() < deadline) capture.problems.push_back("page.png：" + *failed);
}

// Captures the page within kFailureArchiveBudget.
asio::awaitable<PageCapture> capture_page_in_time(playwright::Page page) {
  using namespace asio::experimental::awaitable_operators;
  PageCapture capture;
  asio::steady_timer budget(co_await asio::this_coro::executor, kFailureArchiveBudget);
  const auto ended = co_await (capture_page(page, Clock::now() + kFailureArchiveBudget, capture) ||
                               budget.async_wait(asio::use_awaitable));
  if (ended.index() == 1) {
    capture.problems.push_back("浏览器未在 " + std::to_string(kFailureArchiveBudget.count()) + " 秒内响应");
  }
  co_return capture;
}

// Writes `content` as `dir`/`name`, noting a failure in `problems`.
void write_noting_failure(const std::filesystem::path& dir, const std::string& name, const std::string& content,
                          std::vector<std::string>& problems) {
  try {
    shared::write_file_atomically(dir / name, content);
  } catch (const std::exception& error) {
    problems.push_back(name + "：" + error.what());
  }
}

// error.txt: the failure's message and its causes, then what the archive missed.
std::string error_text(std::exception_ptr failure, const std::vector<std::string>& problems) {
  std::string text = failure_report(failure);
  if (!problems.empty()) text += "页面现场未能完整保存：\n";
  for (const std::string& problem : problems) text += "  " + problem + '\n';
  return text;
}

bool is_interruption(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const playwright::InterruptedError&) {
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

asio::awaitable<void> archive_failure(playwright::Page page, std::filesystem::path run_dir,
                                      std::exception_ptr failure) {
  if (is_interruption(failure)) co_return;
  try {
    PageCapture capture = co_await capture_page_in_time(page);
    const std::filesystem::path dir = run_dir / "failure";
    std::filesystem::create_directories(dir);
    if (capture.html) write_noting_failure(dir, "page.html", *capture.html, capture.problems);
    if (capture.png) write_noting_failure(dir, "page.png", *capture.png, capture.problems);
    shared::write_file_atomically(dir / "error.txt", error_text(failure, capture.problems));
  } catch (...) {
    // No place is left to note it; the flow's failure is what the caller sees.
  }
}

asio::awaitable<Json> run_archiving_failure(playwright::Page page, const PageFlow& flow,
                                            std::optional<std::filesystem::path> run_dir) {
  std::exception_ptr failure;
  try {
    co_return co_await flow(page);
  } catch (...) {
    failure = std::current_exception();
  }
  if (run_dir) co_await archive_failure(page, *run_dir, failure);
  std::rethrow_exception(failure);
}

}  // namespace ravik::seller_sprite_legacy::scraping
