#include "cli/rufus_commands.h"

#include <iostream>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "cli/json_output.h"
#include "ravik/amazon_rufus/services/askpool_service.h"

namespace ravik::cli {
namespace {

using ravik::amazon_rufus::domain::Question;
using ravik::amazon_rufus::domain::QuestionTemplate;
using ravik::amazon_rufus::services::AskpoolService;

int print_questions(const std::string& skills_dir) {
  const std::vector<QuestionTemplate> templates = AskpoolService(skills_dir).load_templates();
  Json listed = Json::array();
  std::size_t question_count = 0;
  for (const QuestionTemplate& question_template : templates) {
    listed.push_back(template_to_json(question_template));
    question_count += question_template.questions.size();
  }
  print_json(listed);
  std::cerr << "共 " << templates.size() << " 个模板，" << question_count << " 个问题\n";
  return kExitCompleted;
}

}  // namespace

Json template_to_json(const QuestionTemplate& question_template) {
  Json questions = Json::array();
  for (const Question& question : question_template.questions) {
    questions.push_back({{"id", question.id}, {"text", question.text}, {"position", question.position}});
  }
  return {
      {"id", question_template.id},
      {"description", question_template.description},
      {"preferred_version_index", question_template.preferred_version_index},
      {"questions", std::move(questions)},
      {"created_at", question_template.created_at},
      {"updated_at", question_template.updated_at},
  };
}

void add_rufus_commands(CLI::App& app, CommandAction& action) {
  CLI::App* rufus = app.add_subcommand("rufus", "Amazon Rufus 题库");
  rufus->require_subcommand(1);
  auto skills_dir = std::make_shared<std::string>();
  CLI::App* questions = rufus->add_subcommand("questions", "列出已安装 Skill 的默认题目模板");
  questions->add_option("--skills-dir", *skills_dir,
                        "存放 ravik-amazon-rufus 的 Skill 目录（默认：./.agents/skills）");
  questions->callback([&action, skills_dir] { action = [skills_dir] { return print_questions(*skills_dir); }; });
}

}  // namespace ravik::cli
