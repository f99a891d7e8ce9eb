#include "cli/result_summary.h"

#include <algorithm>

#include "ravik/seller_sprite_legacy/domain/exceptions.h"

namespace ravik::cli {
namespace {

using ravik::seller_sprite_legacy::domain::SellerSpriteCaptchaRequiredError;
using ravik::seller_sprite_legacy::domain::SellerSpriteLoginRequiredError;

bool is_access_error(const Json& record) {
  if (!record.is_object()) return false;
  const auto code = record.find("code");
  if (code == record.end() || !code->is_string()) return false;
  const std::string& text = code->get_ref<const std::string&>();
  return text == SellerSpriteCaptchaRequiredError::code || text == SellerSpriteLoginRequiredError::code;
}

const Json& entry_or_null(const Json& result, const char* key) {
  static const Json null_value;
  const auto found = result.find(key);
  return found == result.end() ? null_value : *found;
}

// Counts the saved-files mapping's leaves: one per file it names.
std::size_t count_files(const Json& files) {
  if (files.is_string()) return 1;
  std::size_t count = 0;
  if (files.is_structured()) {
    for (const Json& item : files) count += count_files(item);
  }
  return count;
}

bool has_missing_sections(const Json& result) {
  const Json& missing = entry_or_null(result, "missing_sections");
  return missing.is_array() && !missing.empty();
}

std::string outcome_text(const Json& result) {
  if (is_blocked(result)) return "受阻";
  return has_missing_sections(result) ? "部分完成" : "已完成";
}

}  // namespace

bool is_blocked(const Json& result) {
  if (!result.is_object()) return false;
  if (!is_empty_entry(result, "captcha_required")) return true;
  const Json& logged_in = entry_or_null(result, "logged_in");
  if (logged_in.is_boolean() && !logged_in.get<bool>()) return true;
  const Json& errors = entry_or_null(result, "errors");
  return errors.is_array() && std::any_of(errors.begin(), errors.end(), is_access_error);
}

ExitCode result_exit_code(const Json& result) {
  if (is_blocked(result)) return kExitBlocked;
  return has_missing_sections(result) ? kExitIncomplete : kExitCompleted;
}

std::string summarize_result(const std::string& command, const Json& result,
                             const std::string& run_dir, bool headless) {
  std::string text = command + "：" + outcome_text(result);
  const Json& logged_in = entry_or_null(result, "logged_in");
  if (logged_in.is_boolean()) text += logged_in.get<bool>() ? "，已登录" : "，未登录";
  if (!is_empty_entry(result, "captcha_required")) text += "，页面出现验证码";
  text += '\n';
  if (result.contains("files") && !run_dir.empty()) {
    text += "  文件：" + std::to_string(count_files(result["files"])) + " 个，位于 " + run_dir + '\n';
  }
  if (has_missing_sections(result)) {
    const Json& missing = entry_or_null(result, "missing_sections");
    text += "  缺失数据：";
    for (std::size_t i = 0; i < missing.size(); ++i) text += (i ? ", " : "") + text_form(missing[i]);
    text += '\n';
  }
  const Json& errors = entry_or_null(result, "errors");
  if (errors.is_array()) {
    for (const Json& record : errors) text += "  " + text_form(entry_or_null(record, "message")) + '\n';
  }
  if (headless && is_blocked(result)) {
    text += "  无窗口运行时无法在浏览器中完成登录或验证：请先执行 ravik seller-sprite login，"
            "或去掉 --headless 重新运行\n";
  }
  return text;
}

}  // namespace ravik::cli
