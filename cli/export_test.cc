// `ravik seller-sprite export` through the built command, on run
// directories written by the tests: the CSV files byte for byte, the
// workbook as unzip and its sheet XML show it, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/exit_codes.h"
#include "ravik/shared/file_io.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using shared::read_file;
using shared::write_file_atomically;
using testing_support::run_ravik;
using testing_support::TempDir;

constexpr const char* kBom = "\xEF\xBB\xBF";

// The parts of a result that every collection has beside its sections.
Json with_common_entries(Json result) {
  result["files"] = {{"collect_html", "collect/page.html"}};
  result["captcha_required"] = false;
  result["missing_sections"] = Json::array();
  result["errors"] = Json::array();
  return result;
}

Json keyword_mining_payload(Json items) {
  return {{"code", "OK"}, {"data", {{"total", items.size()}, {"items", std::move(items)}}}};
}

// Names of the files in `dir`, sorted.
std::vector<std::string> file_names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExportTest : public testing::Test {
 protected:
  ProcessResult ravik(std::vector<std::string> args) {
    args.insert(args.begin(), {"seller-sprite", "export"});
    return run_ravik(args, temp_.path() / "config", temp_.path());
  }

  // A run directory under the test's directory holding `file` with `text`.
  fs::path run_with(const std::string& name, const std::string& file, const std::string& text) {
    const fs::path dir = temp_.path() / name;
    fs::create_directories(dir);
    write_file_atomically(dir / file, text);
    return dir;
  }

  TempDir temp_;
};

TEST_F(ExportTest, CsvQuotesFieldsAndJoinsTheRecordsColumnsInFirstSeenOrder) {
  const Json result = with_common_entries({
      {"keyword_mining", keyword_mining_payload({
                             {{"keyword", "yoga mat, thick"}, {"note", "say \"hi\""}, {"rank", 1}, {"ratio", 0.25},
                              {"amazonChoice", true}},
                             {{"keyword", "瑜伽垫\n加厚"}, {"rank", 2}, {"extra", nullptr}, {"note", "a\rb"},
                              {"tags", {"a", "b"}}, {"meta", {{"x", 1}, {"名", "值"}}}},
                         })},
  });
  const fs::path run = run_with("run", "result.json", result.dump(2));

  const ProcessResult exported = ravik({run.string()});
  ASSERT_EQ(exported.exit_code, kExitCompleted) << exported.err;
  const fs::path csv = run / "export" / "keyword_mining.csv";
  EXPECT_EQ(read_file(csv), std::string(kBom) +
                                "keyword,note,rank,ratio,amazonChoice,extra,tags,meta\r\n"
                                "\"yoga mat, thick\",\"say \"\"hi\"\"\",1,0.25,true,,,\r\n"
                                "\"瑜伽垫\n加厚\",\"a\rb\",2,,,,\"[\"\"a\"\",\"\"b\"\"]\",\"{\"\"x\"\":1,\"\"名\"\":\"\"值\"\"}\"\r\n");
  EXPECT_EQ(exported.out, csv.string() + "\n");
  EXPECT_NE(exported.err.find("已导出 keyword_mining：2 行 → " + csv.string() + "\n"), std::string::npos) << exported.err;
  EXPECT_NE(exported.err.find("已跳过 files：没有 data 项\n"), std::string::npos) << exported.err;
  EXPECT_NE(exported.err.find("已跳过 errors：不是对象\n"), std::string::npos) << exported.err;
}

TEST_F(ExportTest, EveryListOfObjectsUnderDataIsOneTableAndNothingElse) {
  const Json frequency = {{"code", "OK"},
                          {"data",
                           {{"phraseCount", 1},
                            {"items", {{{"keyword", "mat"}, {"frequency", 3}}}},
                            {"groups", {{{"group", "yoga"}}}},
                            {"tags", {"a", "b"}},
                            {"pending", Json::array()}}}};
  // An entry's name never leads a file out of the export directory.
  const Json result = with_common_entries(
      {{"frequency", frequency}, {"keyword_mining", nullptr}, {"../escape", keyword_mining_payload({{{"x", 1}}})}});
  const fs::path run = run_with("run", "result.json", result.dump());
  const fs::path out = temp_.path() / "tables";

  const ProcessResult exported = ravik({run.string(), "--format", "csv", "--out", out.string()});
  ASSERT_EQ(exported.exit_code, kExitCompleted) << exported.err;
  EXPECT_EQ(file_names(out), (std::vector<std::string>{"_._escape.csv", "frequency_groups.csv", "frequency_items.csv"}));
  EXPECT_EQ(read_file(out / "frequency_groups.csv"), std::string(kBom) + "group\r\nyoga\r\n");
  for (const char* line : {"已跳过 frequency.data.tags：不是对象列表\n", "已跳过 frequency.data.pending：空列表\n",
                           "已跳过 keyword_mining：值为 null\n"}) {
    EXPECT_NE(exported.err.find(line), std::string::npos) << line << "\n" << exported.err;
  }
}

TEST_F(ExportTest, BatchRowsLeadWithTheItemAndLinesWithoutAResultArePassedOver) {
  const std::string lines =
      R"({"item": {"keyword": "yoga mat", "site": "us", "period": "30d"}, "status": "completed", )"
      R"("result": {"keyword_mining": {"data": {"items": [{"keyword": "yoga mat", "rank": 1}]}}}, "duration_s": 3.5})"
      "\n"
      R"({"item": {"keyword": "瑜伽垫", "site": "jp"}, "status": "failed", "error": {"message": "超时"}, "duration_s": 1})"
      "\n"
      R"({"item": {"keyword": "pilates", "site": "us"}, "status": "incomplete", "result": {"frequency": null, )"
      R"("keyword_mining": {"data": {"items": [{"keyword": "pilates ring", "bid": 0.5, "rank": 1}]}}}, "duration_s": 2})"
      "\n"
      R"({"item": {"keyword": "cork", "site": "us"}, "status": "comp)";
  const fs::path run = run_with("batch", "results.jsonl", lines);

  const ProcessResult exported = ravik({run.string()});
  ASSERT_EQ(exported.exit_code, kExitCompleted) << exported.err;
  EXPECT_EQ(read_file(run / "export" / "keyword_mining.csv"), std::string(kBom) +
                                                                  "item.keyword,item.site,keyword,rank,bid\r\n"
                                                                  "yoga mat,us,yoga mat,1,\r\n"
                                                                  "pilates,us,pilates ring,1,0.5\r\n");
  for (const char* line : {"results.jsonl 第 2 行（瑜伽垫，failed）没有结果，已跳过\n",
                           "results.jsonl 第 4 行（最后一行）不完整", "已跳过 frequency：值为 null（1 个结果）\n"}) {
    EXPECT_NE(exported.err.find(line), std::string::npos) << line << "\n" << exported.err;
  }
}

TEST_F(ExportTest, ItemRunAgainByAResumedBatchGivesOnlyItsLatestRows) {
  const std::string lines =
      R"({"index": 1, "item": {"keyword": "yoga mat", "site": "us"}, "status": "incomplete", )"
      R"("result": {"keyword_mining": {"data": {"items": [{"keyword": "old row"}]}}}, "duration_s": 3})"
      "\n"
      R"({"index": 2, "item": {"keyword": "cork", "site": "us"}, "status": "completed", )"
      R"("result": {"keyword_mining": {"data": {"items": [{"keyword": "cork block"}]}}}, "duration_s": 3})"
      "\n"
      R"({"index": 1, "item": {"keyword": "yoga mat", "site": "us"}, "status": "completed", )"
      R"("result": {"keyword_mining": {"data": {"items": [{"keyword": "new row"}]}}}, "duration_s": 3})"
      "\n";
  const fs::path run = run_with("resumed", "results.jsonl", lines);
  const ProcessResult exported = ravik({run.string()});
  ASSERT_EQ(exported.exit_code, kExitCompleted) << exported.err;
  EXPECT_EQ(read_file(run / "export" / "keyword_mining.csv"),
            std::string(kBom) + "item.keyword,item.site,keyword\r\ncork,us,cork block\r\nyoga mat,us,new row\r\n");
  EXPECT_NE(exported.err.find("results.jsonl 第 1 行（yoga mat，incomplete）已由同一项后来的结果（results.jsonl 第 3 行）取代，已跳过"),
            std::string::npos)
      << exported.err;
}

// A workbook's contents as unzip shows them.
class Workbook {
 public:
  explicit Workbook(fs::path path) : path_(std::move(path)) {}

  // Fails the test unless `unzip -t` accepts the archive.
  void expect_sound() const {
    const ProcessResult test = unzip({"-t", path_.string()});
    EXPECT_EQ(test.exit_code, 0) << test.out << test.err;
    EXPECT_NE(test.out.find("No errors detected"), std::string::npos) << test.out;
  }

  std::string member(const std::string& name) const {
    const ProcessResult read = unzip({"-p", path_.string(), name});
    EXPECT_EQ(read.exit_code, 0) << name << ": " << read.err;
    return read.out;
  }

  // Each cell of a sheet by its reference ("B2"): its type attribute ("s"
  // text, "b" boolean, "" number), its value with shared strings resolved,
  // and whether it carries a style.
  struct Cell {
    std::string type;
    std::string value;
    bool styled = false;
  };
  std::map<std::string, Cell> cells(const std::string& sheet_member) const {
    std::vector<std::string> strings;
    for (const std::string& item : elements(member("xl/sharedStrings.xml"), "<si>", "</si>")) {
      strings.push_back(elements(item, ">", "</t>").at(0));  // <t> or <t xml:space="preserve">
    }
    std::map<std::string, Cell> found;
    for (const std::string& element : elements(member(sheet_member), "<c r=\"", "</c>")) {
      // e.g. A2" s="1" t="s"><v>14</v>
      const std::string reference = element.substr(0, element.find('"'));
      const std::string attributes = element.substr(0, element.find('>'));
      Cell cell;
      const std::vector<std::string> type = elements(attributes, " t=\"", "\"");
      if (!type.empty()) cell.type = type.front();
      cell.value = elements(element, "<v>", "</v>").at(0);
      cell.styled = attributes.find(" s=\"") != std::string::npos;
      if (cell.type == "s") cell.value = strings.at(std::stoul(cell.value));
      found[reference] = cell;
    }
    return found;
  }

 private:
  // The texts between each `open` and the `close` after it, in order.
  static std::vector<std::string> elements(const std::string& xml, const std::string& open, const std::string& close) {
    std::vector<std::string> found;
    for (std::size_t start = xml.find(open); start != std::string::npos; start = xml.find(open, start)) {
      start += open.size();
      const std::size_t end = xml.find(close, start);
      if (end == std::string::npos) break;
      found.push_back(xml.substr(start, end - start));
      start = end + close.size();
    }
    return found;
  }

  static ProcessResult unzip(const std::vector<std::string>& args) {
    ProcessRequest request;
    request.argv = {"/usr/bin/unzip"};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    return run_process(request);
  }

  fs::path path_;
};

TEST_F(ExportTest, WorkbookKeepsNumbersAsNumbersUnderABoldFrozenHeader) {
  const Json result = with_common_entries({
      {"keyword_mining", keyword_mining_payload({
                             {{"keyword", "瑜伽垫, 加厚 & <厚>"}, {"rank", 1}, {"ratio", 0.25}, {"amazonChoice", true},
                              {"tags", {"a"}}, {"id", 12345678901234567}},
                             {{"keyword", "mat"}, {"rank", 2}},
                         })},
      {"Keyword_Mining", keyword_mining_payload({{{"x", 1}}})},
      {"reverse:[stats]/*?\\' of a very long entry name", keyword_mining_payload({{{"x", 1}}})},
      {"关键词关键词关键词关键词关键词关键词关键词关键词关键词关键词关键词", keyword_mining_payload({{{"x", 1}}})},
  });
  const fs::path run = run_with("run-42", "result.json", result.dump());

  // The default workbook is named after the run directory, also when it is
  // given with a trailing slash.
  const ProcessResult exported = ravik({run.string() + "/", "--format", "xlsx"});
  ASSERT_EQ(exported.exit_code, kExitCompleted) << exported.err;
  EXPECT_EQ(file_names(run / "export"), std::vector<std::string>{"run-42.xlsx"});
  const Workbook book(run / "export" / "run-42.xlsx");
  book.expect_sound();

  const std::map<std::string, Workbook::Cell> cells = book.cells("xl/worksheets/sheet1.xml");
  const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
      {"A1", "s", "keyword"}, {"B1", "s", "rank"}, {"F1", "s", "id"},
      {"A2", "s", "瑜伽垫, 加厚 &amp; &lt;厚&gt;"}, {"B2", "", "1"}, {"C2", "", "0.25"}, {"D2", "b", "1"},
      {"E2", "s", R"(["a"])"},
      // More digits than Excel keeps: text, so that none is lost.
      {"F2", "s", "12345678901234567"},
      {"A3", "s", "mat"}, {"B3", "", "2"},
  };
  for (const auto& [reference, type, value] : expected) {
    SCOPED_TRACE(reference);
    ASSERT_TRUE(cells.contains(reference));
    EXPECT_EQ(cells.at(reference).type, type);
    EXPECT_EQ(cells.at(reference).value, value);
    EXPECT_EQ(cells.at(reference).styled, reference.ends_with('1')) << "only the header row is styled (bold)";
  }
  EXPECT_FALSE(cells.contains("C3")) << "a field the record lacks is an empty cell";
  EXPECT_NE(book.member("xl/styles.xml").find("<b/>"), std::string::npos);
  const std::string sheet = book.member("xl/worksheets/sheet1.xml");
  EXPECT_NE(sheet.find(R"(<pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/>)"), std::string::npos)
      << sheet;

  const std::string workbook = book.member("xl/workbook.xml");
  for (const char* name : {R"(<sheet name="keyword_mining")", R"(<sheet name="Keyword_Mining_2")",
                           R"(<sheet name="reverse__stats______ of a very ")",
                           // Cut after 31 characters, not bytes.
                           R"(<sheet name="关键词关键词关键词关键词关键词关键词关键词关键词关键词关键词关")"}) {
    EXPECT_NE(workbook.find(name), std::string::npos) << name << "\n" << workbook;
  }
}

TEST_F(ExportTest, WorkbookGoesWhereOutSays) {
  const fs::path run =
      run_with("run", "result.json", with_common_entries({{"keyword_mining", keyword_mining_payload({{{"rank", 1}}})}}).dump());
  const fs::path book = temp_.path() / "out" / "new" / "book.xlsx";
  const ProcessResult exported = ravik({run.string(), "--format", "xlsx", "--out", book.string()});
  ASSERT_EQ(exported.exit_code, kExitCompleted) << exported.err;
  EXPECT_EQ(exported.out, book.string() + "\n");
  EXPECT_EQ(file_names(book.parent_path()), std::vector<std::string>{"book.xlsx"});
  Workbook(book).expect_sound();
}

TEST_F(ExportTest, RefusalsSayWhyAndWriteNothing) {
  const std::string no_lists = with_common_entries({{"frequency", nullptr}, {"keyword_mining", nullptr}}).dump();
  const std::string records = with_common_entries({{"keyword_mining", keyword_mining_payload({{{"rank", 1}}})}}).dump();
  const std::string oversized =
      with_common_entries({{"keyword_mining", keyword_mining_payload({{{"text", std::string(32768, 'x')}}})}}).dump();
  struct Case {
    const char* name;
    std::string file;  // written into the run directory unless empty
    std::string text;
    std::vector<std::string> flags;
    int exit_code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"no run directory", "", "", {}, kExitError, "错误：运行目录不存在："},
      {"no result file", "notes.txt", "", {}, kExitError, "中没有 result.json 或 results.jsonl"},
      {"result.json not JSON", "result.json", "{\"frequency\": ", {}, kExitError, "result.json 不是有效的 JSON"},
      {"result.json not an object", "result.json", "[1, 2]", {}, kExitError, "result.json 不是 JSON 对象"},
      {"a whole line not JSON", "results.jsonl", "{\"item\": \n{}\n", {}, kExitError,
       "results.jsonl 第 1 行 不是有效的 JSON"},
      {"no record lists", "result.json", no_lists, {}, kExitError, "的结果中没有可导出的记录列表"},
      {"csv out is a file", "result.json", records, {"--out", "a_file"}, kExitError, "导出位置 a_file 已存在且不是目录"},
      {"xlsx out is a directory", "result.json", records, {"--format", "xlsx", "--out", "a_dir"}, kExitError,
       "导出位置 a_dir 是目录，xlsx 格式需要文件路径"},
      {"cell over Excel's limit", "result.json", oversized, {"--format", "xlsx", "--out", "a_dir/book.xlsx"}, kExitError,
       "工作表 keyword_mining 第 2 行 text 列：文本超过 Excel 单元格 32767 个字符的上限"},
      {"unknown format", "result.json", records, {"--format", "pdf"}, kExitUsage, "--format"},
  };
  write_file_atomically(temp_.path() / "a_file", "keep");
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const fs::path run = temp_.path() / "run";
    fs::remove_all(run);
    if (!test.file.empty()) run_with("run", test.file, test.text);
    fs::remove_all(temp_.path() / "a_dir");
    fs::create_directories(temp_.path() / "a_dir");

    std::vector<std::string> args{run.string()};
    args.insert(args.end(), test.flags.begin(), test.flags.end());
    const ProcessResult exported = ravik(args);
    EXPECT_EQ(exported.exit_code, test.exit_code) << exported.err;
    EXPECT_NE(exported.err.find(test.message), std::string::npos) << exported.err;
    EXPECT_EQ(exported.out, "");
    EXPECT_FALSE(fs::exists(run / "export"));
    EXPECT_TRUE(file_names(temp_.path() / "a_dir").empty());
    EXPECT_EQ(read_file(temp_.path() / "a_file"), "keep");
  }
}

}  // namespace
}  // namespace ravik::cli
