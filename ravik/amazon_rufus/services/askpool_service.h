// The Rufus question bank: reads the default question templates that the
// installed "ravik-amazon-rufus" skill ships as "question_templates.json".
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ravik/amazon_rufus/domain/exceptions.h"
#include "ravik/amazon_rufus/domain/models.h"
#include "ravik/export/askpool_export.h"

namespace ravik::amazon_rufus::services {

class JsonNode;

// 从已安装 Skill 中读取合并后的默认题目模板。
// Only reads; every load_templates call reads the file afresh.
class RAVIK_ASKPOOL_EXPORT AskpoolService {
 public:
  // `skills_dir` is the directory holding the skill's folder; a leading "~"
  // is expanded to the user's home ($HOME unless empty, else the password
  // database; std::runtime_error when neither has one) and "~user" to that
  // user's. Absent or empty: the default location under the working
  // directory current at each load.
  explicit AskpoolService(const std::optional<std::string>& skills_dir = std::nullopt);

  const std::optional<std::filesystem::path>& skills_dir() const { return skills_dir_; }

  // The templates in file order, each with its questions sorted by position
  // (stable). Throws AskpoolNotReadyError when the file is missing, not JSON,
  // has no "items" list or no question at all; other failures pass on as
  // general errors: std::system_error when the file cannot be read or is not
  // a regular file (a FIFO in its place is not waited on), and for its
  // contents a message naming the file and what is wrong in it (text that is
  // not UTF-8, wrong shapes, integers that cannot be converted).
  //
  // Integer fields take exactly the 64-bit signed range: INT64_MIN and
  // INT64_MAX load, anything beyond them (as a number, a float or a decimal
  // text) throws std::out_of_range. An integer too large for 64 bits anywhere
  // in a template field that is read, "description", "text", "created_at"
  // and "updated_at" included, throws std::out_of_range too: the records
  // could not hold it exactly, and no field changes its value or type
  // silently. Such numbers in keys that are not read are ignored.
  [[nodiscard]] std::vector<domain::QuestionTemplate> load_templates() const;

 private:
  std::filesystem::path _resolve_question_templates_path() const;
  static domain::QuestionTemplate _parse_template(const JsonNode& item);
  static domain::Question _parse_question(const JsonNode& item);
  static domain::AskpoolNotReadyError _not_ready();

  std::optional<std::filesystem::path> skills_dir_;
};

}  // namespace ravik::amazon_rufus::services
