#include "ravik/seller_sprite_legacy/scraping/archiver.h"

#include <chrono>
#include <string>
#include <utility>

#include "playwright/error.h"
#include "ravik/seller_sprite_legacy/scraping/internal/run_files.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

// The saved-files entries of one archive: "<section>_html" and "<section>_screenshot".
Json archive_entries(const std::string& section, const std::filesystem::path& html,
                     const std::filesystem::path& screenshot) {
  return Json{{section + "_html", html.string()}, {section + "_screenshot", screenshot.string()}};
}

// The visible part of `page`. Right after a whole-page capture failed,
// Chromium may still be restoring the page's size and refuse a capture for
// a moment, so a refused one is tried again a few times, a frame or so apart.
asio::awaitable<std::string> viewport_screenshot(playwright::Page page) {
  constexpr int kAttempts = 4;
  for (int attempt = 1;; ++attempt) {
    try {
      co_return co_await page.screenshot();
    } catch (const playwright::Error&) {
      if (attempt == kAttempts) throw;
    }
    co_await page.wait_for_timeout(std::chrono::milliseconds(250));
  }
}

}  // namespace

SellerSpriteArchiver::SellerSpriteArchiver(std::filesystem::path run_dir) : run_dir_(std::move(run_dir)) {}

std::filesystem::path SellerSpriteArchiver::section_dir(const std::string& section) const {
  return child_path(run_dir_, section);
}

asio::awaitable<Json> SellerSpriteArchiver::archive_page(playwright::Page page, SectionArgs args) const {
  const std::string& section = args.section.get();
  const std::filesystem::path dir = section_dir(section);
  // The HTML is on disk before any screenshot is tried: a capture that fails
  // must not take the page's text with it.
  write_file_atomically(dir / "page.html", co_await page.content());
  playwright::ScreenshotOptions whole_page;
  whole_page.full_page = true;
  std::string png;
  bool whole_page_taken = true;
  try {
    png = co_await page.screenshot(whole_page);
  } catch (const playwright::Error&) {
    whole_page_taken = false;  // e.g. "Unable to capture screenshot" of a huge page
  }
  if (!whole_page_taken) png = co_await viewport_screenshot(page);
  const std::string png_name = whole_page_taken ? "page.png" : "page-viewport.png";
  write_file_atomically(dir / png_name, png);
  co_return archive_entries(section, dir / "page.html", dir / png_name);
}

asio::awaitable<Json> SellerSpriteArchiver::archive_locator(playwright::Locator locator, SectionArgs args) const {
  const std::string& section = args.section.get();
  const std::filesystem::path dir = section_dir(section);
  const std::string html = co_await locator.inner_html();
  const std::string png = co_await locator.screenshot();
  write_file_atomically(dir / "element.html", html);
  write_file_atomically(dir / "element.png", png);
  co_return archive_entries(section, dir / "element.html", dir / "element.png");
}

std::filesystem::path SellerSpriteArchiver::save_json(SaveJsonArgs args) const {
  const std::filesystem::path path = child_path(section_dir(args.section.get()), args.filename.get());
  write_file_atomically(path, args.payload.get().dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
  return path;
}

}  // namespace ravik::seller_sprite_legacy::scraping
