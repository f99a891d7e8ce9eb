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

}  // namespace

bool is_blocked(const Json& result) {
  if (!result.is_object()) return false;
  if (!is_empty_entry(result, "captcha_required")) return true;
  const Json& logged_in = entry_or_null(result, "logged_in");
  if (logged_in.is_boolean() && !logged_in.get<bool>()) return true;
  const Json& errors = entry_or_null(result, "errors");
  return errors.is_array() && std::any_of(errors.begin(), errors.end(), is_access_error);
}

std::string summarize_result(const std::string& command, const Json& result,
                             const std::string& run_dir) {
  std::string text = command + (is_blocked(result) ? "：受阻" : "：已完成");
  const Json& logged_in = entry_or_null(result, "logged_in");
  if (logged_in.is_boolean()) text += logged_in.get<bool>() ? "，已登录" : "，未登录";
  if (!is_empty_entry(result, "captcha_required")) text += "，页面出现验证码";
  text += '\n';
  if (result.contains("files") && !run_dir.empty()) {
    text += "  文件：" + std::to_string(count_files(result["files"])) + " 个，位于 " + run_dir + '\n';
  }
  const Json& missing = entry_or_null(result, "missing_sections");
  if (missing.is_array() && !missing.empty()) {
    text += "  缺失数据：";
    for (std::size_t i = 0; i < missing.size(); ++i) text += (i ? ", " : "") + text_form(missing[i]);
    text += '\n';
  }
  const Json& errors = entry_or_null(result, "errors");
  if (errors.is_array()) {
    for (const Json& record : errors) text += "  " + text_form(entry_or_null(record, "message")) + '\n';
  }
  return text;
}

}  // namespace ravik::cli
