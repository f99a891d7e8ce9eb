#include "ravik/shared/console.h"

#include <gtest/gtest.h>

namespace ravik::shared {
namespace {

TEST(ConsoleTest, MarkupIsStyledOrStripped) {
  struct Case {
    const char* markup;
    const char* plain;
    const char* styled;
  };
  const Case cases[] = {
      {"[yellow]新版本 v1 → v2[/yellow]", "新版本 v1 → v2", "\x1b[33m新版本 v1 → v2\x1b[0m"},
      {"[dim]a[cyan]b[/cyan]c[/dim]", "abc", "\x1b[2ma\x1b[36mb\x1b[0m\x1b[2mc\x1b[0m"},
      {"[cyan]open to the end", "open to the end", "\x1b[36mopen to the end\x1b[0m"},
      {"[cyan]x[/]y", "xy", "\x1b[36mx\x1b[0my"},
      {"pip install pkg[extra] [/yellow] [ [dim]d[/dim]", "pip install pkg[extra] [/yellow] [ d",
       "pip install pkg[extra] [/yellow] [ \x1b[2md\x1b[0m"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    EXPECT_EQ(render_markup(c.markup, false), c.plain);
    EXPECT_EQ(render_markup(c.markup, true), c.styled);
  }
}

TEST(ConsoleTest, PrintsOneLinePerCallUnstyledWhenNotATerminal) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  const Console console(stream);
  console.print("[cyan]  1. step[/cyan]");
  console.print();
  std::rewind(stream);
  char buffer[64] = {};
  const std::size_t size = std::fread(buffer, 1, sizeof buffer - 1, stream);
  EXPECT_EQ(std::string(buffer, size), "  1. step\n\n");
  std::fclose(stream);
}

}  // namespace
}  // namespace ravik::shared
