// `ravik rufus questions`: the default Rufus question templates of the
// installed skill.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command.h"
#include "ravik/amazon_rufus/domain/models.h"
#include "ravik/json.h"

namespace ravik::cli {

void add_rufus_commands(CLI::App& app, CommandAction& action);

// The template as a JSON object: "id", "description",
// "preferred_version_index", "questions" (each "id", "text", "position"),
// "created_at", "updated_at".
Json template_to_json(const ravik::amazon_rufus::domain::QuestionTemplate& question_template);

}  // namespace ravik::cli
