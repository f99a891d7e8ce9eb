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
  // is expanded to the user's home. Absent or empty: the default location
  // under the working directory current at each load.
  explicit AskpoolService(const std::optional<std::string>& skills_dir = std::nullopt);

  const std::optional<std::filesystem::path>& skills_dir() const { return skills_dir_; }

  // The templates in file order, each with its questions sorted by position
  // (stable). Throws AskpoolNotReadyError when the file is missing, not JSON,
  // has no "items" list or no question at all; other failures (unreadable
  // file, text that is not UTF-8, wrong shapes, unconvertible integers) pass
  // on as general errors.
  std::vector<domain::QuestionTemplate> load_templates() const;

 private:
  std::filesystem::path _resolve_question_templates_path() const;
  static domain::QuestionTemplate _parse_template(const JsonNode& item);
  static domain::Question _parse_question(const JsonNode& item);
  static domain::AskpoolNotReadyError _not_ready();

  std::optional<std::filesystem::path> skills_dir_;
};

}  // namespace ravik::amazon_rufus::services
