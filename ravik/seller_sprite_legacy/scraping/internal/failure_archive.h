// The failure archive: what the page showed when a flow failed, kept under
// run_dir/failure (page.html, page.png, error.txt) before its browser closes.
#pragma once

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>

#include <asio/awaitable.hpp>

#include "playwright/page.h"
#include "ravik/json.h"

namespace ravik::seller_sprite_legacy::scraping {

// The longest time the archive waits for the page; a browser that does not
// answer in time leaves the archive incomplete.
inline constexpr std::chrono::seconds kFailureArchiveBudget{5};

// Writes the HTML and a full-page screenshot of `page` and error.txt (the
// messages of `failure` and its causes, then any step of the archive that
// failed) into run_dir/failure, each file replaced whole. Never throws and
// never waits on the page for longer than kFailureArchiveBudget: the flow's
// failure stays the one that counts. Does nothing for an interrupted run.
asio::awaitable<void> archive_failure(playwright::Page page, std::filesystem::path run_dir,
                                      std::exception_ptr failure);

// A flow of the collector on an open page.
using PageFlow = std::function<asio::awaitable<Json>(playwright::Page)>;

// Awaits `flow(page)` and answers its result. When it fails and `run_dir`
// is given, the page is first archived there (archive_failure); the flow's
// own failure is then passed on unchanged.
asio::awaitable<Json> run_archiving_failure(playwright::Page page, const PageFlow& flow,
                                            std::optional<std::filesystem::path> run_dir);

}  // namespace ravik::seller_sprite_legacy::scraping
