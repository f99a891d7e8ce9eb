// Records of the Amazon Rufus question bank: a question template and the
// questions it asks. Built with designated initializers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ravik/json.h"

namespace ravik::amazon_rufus::domain {

// One question of a template, placed by `position`.
struct Question {
  std::int64_t id = 0;
  std::string text;
  std::int64_t position = 0;

  bool operator==(const Question&) const = default;
};

// A question template: its questions in asking order and its bookkeeping
// times, kept as whatever JSON value the bank holds.
struct QuestionTemplate {
  std::int64_t id = 0;
  std::string description;
  std::int64_t preferred_version_index = 0;
  std::vector<Question> questions;
  Json created_at;
  Json updated_at;

  bool operator==(const QuestionTemplate&) const = default;
};

}  // namespace ravik::amazon_rufus::domain
