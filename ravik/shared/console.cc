#include "ravik/shared/console.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "ravik/environment.h"

namespace ravik::shared {
namespace {

struct Style {
  std::string_view name;
  std::string_view ansi;
};

constexpr Style STYLES[] = {{"yellow", "\x1b[33m"}, {"dim", "\x1b[2m"}, {"cyan", "\x1b[36m"}};
constexpr std::string_view RESET = "\x1b[0m";

const Style* find_style(std::string_view name) {
  const auto* found = std::find_if(std::begin(STYLES), std::end(STYLES),
                                   [name](const Style& style) { return style.name == name; });
  return found == std::end(STYLES) ? nullptr : found;
}

}  // namespace

std::string render_markup(std::string_view markup, bool styled) {
  std::string out;
  std::vector<const Style*> open;
  const auto restyle = [&] {
    if (!styled) return;
    out += RESET;
    for (const Style* style : open) out += style->ansi;
  };
  std::size_t pos = 0;
  while (pos < markup.size()) {
    const std::size_t bracket = markup.find('[', pos);
    const std::size_t close = bracket == std::string_view::npos ? bracket : markup.find(']', bracket);
    if (close == std::string_view::npos) break;
    out += markup.substr(pos, bracket - pos);
    const std::string_view tag = markup.substr(bracket + 1, close - bracket - 1);
    if (tag.find('[') != std::string_view::npos) {  // "[" that opens no tag
      out += '[';
      pos = bracket + 1;
      continue;
    }
    pos = close + 1;
    if (const Style* style = find_style(tag)) {
      open.push_back(style);
      if (styled) out += style->ansi;
      continue;
    }
    if (!tag.empty() && tag.front() == '/') {
      const std::string_view name = tag.substr(1);
      const auto match = std::find_if(open.rbegin(), open.rend(), [name](const Style* style) {
        return name.empty() || style->name == name;
      });
      if (match != open.rend()) {
        open.erase(std::next(match).base());
        restyle();
        continue;
      }
    }
    out += markup.substr(bracket, close + 1 - bracket);  // not a tag of ours: literal text
  }
  out += markup.substr(std::min(pos, markup.size()));
  if (styled && !open.empty()) out += RESET;
  return out;
}

Console::Console(std::FILE* stream) : stream_(stream) {
  styled_ = ::isatty(::fileno(stream)) == 1 && !environment::variable("NO_COLOR");
}

void Console::print(std::string_view markup) const {
  const std::string line = render_markup(markup, styled_) + "\n";
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fflush(stream_);
}

}  // namespace ravik::shared
