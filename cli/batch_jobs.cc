#include "cli/batch_jobs.h"

#include <algorithm>
#include <limits>

#include "cli/flag_checks.h"
#include "ravik/seller_sprite_legacy/scraping/internal/unicode_text.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::cli {
namespace {

using seller_sprite_legacy::domain::SellerSpriteCollectOptions;
using seller_sprite_legacy::scraping::SellerSpriteScraper;
namespace unicode_text = seller_sprite_legacy::scraping::unicode_text;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::int64_t kLargestJobNumber = std::numeric_limits<int>::max();

// Reports a problem of line `number` of `source`.
[[noreturn]] void fail_at(const std::string& source, std::size_t number, const std::string& problem) {
  throw BatchInputError(source + " 第 " + std::to_string(number) + " 行：" + problem);
}

// The lines of `text` without the byte-order mark and the line ends ("\r\n" too).
std::vector<std::string_view> lines_of(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

// The validator's complaint about `value`, or the empty text.
std::string problem_of(const CLI::Validator& validator, std::string value) { return validator(value); }

template <std::size_t N>
std::string check_code(const std::array<seller_sprite_legacy::scraping::LabelEntry, N>& table, const std::string& value) {
  std::string known;
  for (const auto& entry : table) {
    if (entry.key == value) return "";
    known += (known.empty() ? "" : ", ") + std::string(entry.key);
  }
  return "须为 " + known + " 之一，收到 " + value;
}

void check_subject(const BatchJob& job, const std::string& source, std::size_t number) {
  const std::string problem = job.kind == JobKind::keyword ? problem_of(keyword_text(), job.options.keyword)
                                                           : problem_of(non_blank_text(), job.options.asin);
  if (!problem.empty()) fail_at(source, number, std::string(job.kind == JobKind::keyword ? "keyword" : "asin") + " " + problem);
}

// The text of field `name` of `record`; its type is checked, not its value.
std::string text_field(const Json& value, std::string_view name, const std::string& source, std::size_t number) {
  if (!value.is_string()) fail_at(source, number, "字段 " + std::string(name) + " 须为文本，收到 " + value.dump());
  return value.get<std::string>();
}

// The whole number of field `name`, from `min` up to the largest int.
int integer_field(const Json& value, std::string_view name, std::int64_t min, const std::string& source,
                  std::size_t number) {
  if (!value.is_number_integer()) fail_at(source, number, "字段 " + std::string(name) + " 须为整数，收到 " + value.dump());
  const std::string problem = problem_of(integer_in_range(min, kLargestJobNumber), value.dump());
  if (!problem.empty()) fail_at(source, number, "字段 " + std::string(name) + " " + problem);
  return static_cast<int>(value.get<std::int64_t>());
}

BatchJob job_of_record(const Json& record, const SellerSpriteCollectOptions& defaults, const std::string& source,
                       std::size_t number) {
  if (!record.is_object()) fail_at(source, number, "须为一个 JSON 对象");
  for (const auto& [name, value] : record.items()) {
    if (std::find(std::begin(kJobFields), std::end(kJobFields), name) == std::end(kJobFields)) {
      std::string known;
      for (std::string_view field : kJobFields) known += (known.empty() ? "" : ", ") + std::string(field);
      fail_at(source, number, "未知字段 " + name + "（可用字段：" + known + "）");
    }
  }
  if (record.contains("keyword") == record.contains("asin")) fail_at(source, number, "须有 keyword 与 asin 中的恰好一个");
  BatchJob job{.kind = record.contains("keyword") ? JobKind::keyword : JobKind::asin, .options = defaults};
  SellerSpriteCollectOptions& options = job.options;
  if (job.kind == JobKind::keyword) {
    options.keyword = text_field(record.at("keyword"), "keyword", source, number);
  } else {
    options.asin = text_field(record.at("asin"), "asin", source, number);
  }
  check_subject(job, source, number);
  if (record.contains("site")) options.site = text_field(record.at("site"), "site", source, number);
  if (const std::string problem = check_code(SellerSpriteScraper::SITE_LABELS, options.site); !problem.empty()) {
    fail_at(source, number, "字段 site " + problem);
  }
  if (record.contains("period")) options.period = text_field(record.at("period"), "period", source, number);
  if (const std::string problem = check_code(SellerSpriteScraper::PERIOD_LABELS, options.period); !problem.empty()) {
    fail_at(source, number, "字段 period " + problem);
  }
  if (record.contains("phrase_count")) {
    options.frequency_phrase_count = integer_field(record.at("phrase_count"), "phrase_count", 1, source, number);
  }
  if (record.contains("trend_limit")) {
    options.trend_limit = integer_field(record.at("trend_limit"), "trend_limit", 0, source, number);
  }
  if (record.contains("trend_tabs")) options.trend_tabs = text_field(record.at("trend_tabs"), "trend_tabs", source, number);
  if (const std::string problem = problem_of(trend_tab_list(), options.trend_tabs); !problem.empty()) {
    fail_at(source, number, "字段 trend_tabs " + problem);
  }
  return job;
}

void require_items(const std::vector<BatchJob>& jobs, const std::string& source) {
  if (jobs.empty()) throw BatchInputError(source + " 中没有要采集的条目");
}

}  // namespace

std::vector<BatchJob> jobs_from_list(std::string_view text, JobKind kind, const SellerSpriteCollectOptions& defaults,
                                     const std::string& source) {
  std::vector<BatchJob> jobs;
  const std::vector<std::string_view> lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string subject = unicode_text::trim(lines[i]);
    if (subject.empty() || subject.starts_with('#')) continue;
    BatchJob job{.kind = kind, .options = defaults};
    (kind == JobKind::keyword ? job.options.keyword : job.options.asin) = std::move(subject);
    check_subject(job, source, i + 1);
    jobs.push_back(std::move(job));
  }
  require_items(jobs, source);
  return jobs;
}

std::vector<BatchJob> jobs_from_json_lines(std::string_view text, const SellerSpriteCollectOptions& defaults,
                                           const std::string& source) {
  std::vector<BatchJob> jobs;
  const std::vector<std::string_view> lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (unicode_text::trim(lines[i]).empty()) continue;
    const Json record = Json::parse(lines[i], nullptr, /*allow_exceptions=*/false);
    if (record.is_discarded()) fail_at(source, i + 1, "不是有效的 JSON");
    jobs.push_back(job_of_record(record, defaults, source, i + 1));
  }
  require_items(jobs, source);
  return jobs;
}

Json job_record(const BatchJob& job) {
  const SellerSpriteCollectOptions& options = job.options;
  Json record = Json::object();
  if (job.kind == JobKind::keyword) {
    record["keyword"] = options.keyword;
  } else {
    record["asin"] = options.asin;
  }
  record["site"] = options.site;
  record["period"] = options.period;
  if (job.kind == JobKind::keyword) record["phrase_count"] = options.frequency_phrase_count;
  record["trend_limit"] = options.trend_limit;
  record["trend_tabs"] = options.trend_tabs;
  return record;
}

const std::string& job_subject(const BatchJob& job) {
  return job.kind == JobKind::keyword ? job.options.keyword : job.options.asin;
}

}  // namespace ravik::cli
