// The items of a batch: read from a keyword list, an ASIN list or a file of
// JSON Lines job records, every item checked before anything starts, and
// kept in the run directory as job records so that a resumed run needs
// nothing else.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/domain/models.h"

namespace ravik::cli {

// What one item collects: the keyword-mining data of a keyword, or the
// keyword-reverse data of an ASIN.
enum class JobKind { keyword, asin };

struct BatchJob {
  JobKind kind = JobKind::keyword;
  seller_sprite_legacy::domain::SellerSpriteCollectOptions options;  // keyword or asin set by kind
};

// An input file that cannot be used as it stands; what() names the file and
// the line.
class BatchInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The fields a job record may carry.
inline constexpr std::string_view kJobFields[] = {"keyword",     "asin",        "site",      "period",
                                                  "phrase_count", "trend_limit", "trend_tabs"};

// One job per line of `text`, a keyword (or an ASIN) per line: blanks around
// it dropped, blank lines and lines starting with "#" skipped, a leading
// byte-order mark ignored. The other options are `defaults`. Throws
// BatchInputError naming `source` and the line when a keyword is longer
// than the command accepts, and when there is no item at all.
std::vector<BatchJob> jobs_from_list(std::string_view text, JobKind kind,
                                     const seller_sprite_legacy::domain::SellerSpriteCollectOptions& defaults,
                                     const std::string& source);

// One job per non-blank line of `text`, each a JSON object with exactly one
// of "keyword" and "asin" and any of the other kJobFields; a field left out
// takes its value from `defaults`. Throws BatchInputError naming `source`
// and the line for a line that is not a JSON object, an unknown field, a
// value of the wrong type or one the command does not accept; and when
// there is no item at all.
std::vector<BatchJob> jobs_from_json_lines(std::string_view text,
                                           const seller_sprite_legacy::domain::SellerSpriteCollectOptions& defaults,
                                           const std::string& source);

// The job as a record with every field of kJobFields that applies, "keyword"
// or "asin" first; jobs_from_json_lines reads it back unchanged.
Json job_record(const BatchJob& job);

// The keyword or the ASIN of the job.
const std::string& job_subject(const BatchJob& job);

}  // namespace ravik::cli
