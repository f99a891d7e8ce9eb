// SellerSpriteArchiver: writes page archives and JSON files of one run into
// its run directory, each under a section directory run_dir/<section>.
//
// Section and file names are single plain path components; a name that would
// leave the run directory ("..", "/x", "a/b", "") is refused with
// std::invalid_argument before anything is written.
#pragma once

#include <filesystem>
#include <string>

#include <asio/awaitable.hpp>

#include "playwright/locator.h"
#include "playwright/page.h"
#include "ravik/export/browser_host_export.h"
#include "ravik/json.h"
#include "ravik/required.h"

namespace ravik::seller_sprite_legacy::scraping {

class RAVIK_BROWSER_HOST_EXPORT SellerSpriteArchiver {
 public:
  explicit SellerSpriteArchiver(std::filesystem::path run_dir);

  struct SectionArgs {
    Required<std::string> section;
  };
  struct SaveJsonArgs {
    Required<std::string> section;
    Required<std::string> filename;
    Required<Json> payload;
  };

  const std::filesystem::path& run_dir() const { return run_dir_; }

  // Saves the page's HTML ("page.html") and a full-page screenshot
  // ("page.png") under run_dir/<section>; answers
  // {"<section>_html": path, "<section>_screenshot": path}. When the browser
  // cannot take the whole page (a page too large to capture), the screenshot
  // shows the visible part only and is saved as "page-viewport.png" instead,
  // under the same entry, so that the run keeps what it captured. The HTML
  // is saved before any screenshot is taken: it stays when no capture works.
  asio::awaitable<Json> archive_page(playwright::Page page, SectionArgs args) const;

  // Saves the element's inner HTML ("element.html") and screenshot
  // ("element.png") under run_dir/<section>; answers the same two keys.
  asio::awaitable<Json> archive_locator(playwright::Locator locator, SectionArgs args) const;

  // Writes `payload` as indented UTF-8 JSON to run_dir/<section>/<filename>
  // and answers that path.
  std::filesystem::path save_json(SaveJsonArgs args) const;

  // run_dir/<section>. Throws std::invalid_argument for a
  // section that is not one plain path component.
  std::filesystem::path section_dir(const std::string& section) const;

 private:
  std::filesystem::path run_dir_;
};

}  // namespace ravik::seller_sprite_legacy::scraping
