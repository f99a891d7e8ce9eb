#include "ravik/amazon_rufus/services/askpool_service.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <system_error>

#include "ravik/amazon_rufus/services/internal/json_reader.h"
#include "tests/support/scoped_environment_variable.h"

namespace ravik::amazon_rufus::services {
namespace {

namespace fs = std::filesystem;
using domain::AskpoolNotReadyError;
using domain::Question;
using domain::QuestionTemplate;

const char* const NOT_INSTALLED =
    "题库未就绪，请先执行 `ravik skills install ravik-amazon-rufus`，再执行 `ravik skills upgrade ravik-amazon-rufus`";
const char* const NO_ITEMS = "题库格式错误：缺少 items 列表";
const char* const EMPTY_BANK = "题库为空，请执行 `ravik skills upgrade ravik-amazon-rufus` 同步默认题库";

class AskpoolServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("askpool_test_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Writes the templates file under `skills` and returns its path.
  fs::path write_bank(const std::string& content, const fs::path& skills) {
    const fs::path file = skills / "ravik-amazon-rufus" / "data" / "question_templates.json";
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  fs::path write_bank(const std::string& content) { return write_bank(content, root_ / "skills"); }

  std::vector<QuestionTemplate> load(const std::string& content) {
    write_bank(content);
    return AskpoolService((root_ / "skills").string()).load_templates();
  }

  // The message of the AskpoolNotReadyError that loading `content` raises.
  std::string not_ready_message(const std::string& content) {
    try {
      load(content);
    } catch (const AskpoolNotReadyError& error) {
      return error.what();
    }
    return "<no AskpoolNotReadyError>";
  }

  // Loading fails with a general error: any std::exception but the not-ready one.
  void expect_general_failure(const std::string& content) {
    try {
      load(content);
      ADD_FAILURE() << "loaded without error";
    } catch (const AskpoolNotReadyError& error) {
      ADD_FAILURE() << "not-ready error: " << error.what();
    } catch (const std::exception&) {
    }
  }

  // The general error that loading `content` raises, as `Error`.
  template <typename Error>
  std::string general_error_message(const std::string& content) {
    try {
      load(content);
      ADD_FAILURE() << "loaded without error";
    } catch (const AskpoolNotReadyError& error) {
      ADD_FAILURE() << "not-ready error: " << error.what();
    } catch (const Error& error) {
      return error.what();
    } catch (...) {
      ADD_FAILURE() << "another kind of error";
    }
    return {};
  }

  fs::path root_;
};

using ScopedVariable = test_support::ScopedEnvironmentVariable;

const char* const ONE_QUESTION = R"({"items": [{"questions": [{"text": "好用吗？"}]}]})";

TEST_F(AskpoolServiceTest, TildeExpandsToHome) {
  const char* old_home = std::getenv("HOME");
  const std::string saved = old_home ? old_home : "";
  ::setenv("HOME", root_.c_str(), 1);
  write_bank(ONE_QUESTION, root_ / "my skills");
  const AskpoolService service("~/my skills");
  EXPECT_EQ(service.skills_dir(), root_ / "my skills");
  EXPECT_EQ(service.load_templates().at(0).questions.at(0).text, "好用吗？");
  if (old_home) ::setenv("HOME", saved.c_str(), 1); else ::unsetenv("HOME");
}

TEST_F(AskpoolServiceTest, DefaultLocationFollowsTheWorkingDirectoryAtLoadTime) {
  write_bank(ONE_QUESTION, root_ / "project" / ".agents" / "skills");
  const fs::path saved = fs::current_path();
  const AskpoolService absent;
  const AskpoolService empty("");
  EXPECT_FALSE(empty.skills_dir().has_value());
  fs::current_path(root_ / "project");
  EXPECT_EQ(absent.load_templates().size(), 1u);
  EXPECT_EQ(empty.load_templates().size(), 1u);
  fs::current_path(saved);
}

TEST_F(AskpoolServiceTest, MissingFileIsNotReadyWithTheCauseAttached) {
  const AskpoolService service((root_ / "nowhere").string());
  try {
    (void)service.load_templates();
    FAIL() << "loaded a missing file";
  } catch (const AskpoolNotReadyError& error) {
    EXPECT_STREQ(error.what(), NOT_INSTALLED);
    try {
      std::rethrow_if_nested(error);
      ADD_FAILURE() << "no cause attached";
    } catch (const std::system_error& cause) {
      EXPECT_EQ(cause.code(), std::errc::no_such_file_or_directory);
    }
  }
}

TEST_F(AskpoolServiceTest, InvalidJsonNamesTheFile) {
  const fs::path file = write_bank("");
  for (const char* content : {"{\"items\": [}", "", "\xEF\xBB\xBF{\"items\": []}", "{\"items\": []} {}"}) {
    SCOPED_TRACE(content);
    EXPECT_EQ(not_ready_message(content), "题库 JSON 格式错误: " + file.string());
  }
  try {
    load("[");
  } catch (const AskpoolNotReadyError& error) {
    EXPECT_THROW(std::rethrow_if_nested(error), JsonSyntaxError);
  }
}

TEST_F(AskpoolServiceTest, ShapeProblemsThatTheUserCanFix) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"other": []})", NO_ITEMS},
      {R"({"items": {"questions": []}})", NO_ITEMS},
      {R"({"items": null})", NO_ITEMS},
      {R"({"items": []})", EMPTY_BANK},
      {R"({"items": [{"questions": []}, {}, {"questions": ["a", 1, null, [{}]]}]})", EMPTY_BANK},
  };
  for (const auto& [content, message] : cases) {
    SCOPED_TRACE(content);
    EXPECT_EQ(not_ready_message(content), message);
  }
}

TEST_F(AskpoolServiceTest, OtherFailuresPassOnAsGeneralErrors) {
  for (const char* content : {
           "[]",                                                        // top level not an object
           R"({"items": [3, {"questions": [{}]}]})",                  // entry not an object
           R"({"items": [{"questions": null}]})",                     // questions not walkable
           R"({"items": [{"questions": 5}]})",
           R"({"items": [{"id": "abc", "questions": [{}]}]})",        // unconvertible integers
           R"({"items": [{"questions": [{"position": "1.5"}]}]})",
           R"({"items": [{"questions": [{"id": "+-1"}]}]})",
           R"({"items": [{"questions": [{"id": ""}]}]})",
           R"({"items": [{"questions": [{"id": null}]}]})",
           R"({"items": [{"questions": [{"id": [1]}]}]})",
           R"({"items": [{"questions": [{"id": 1e300}]}]})",
           R"({"items": [{"questions": [{"id": 9223372036854775808}]}]})",
           R"({"items": [{"questions": [{"id": "99999999999999999999"}]}]})",
           "{\"items\": [{\"questions\": [{\"text\": \"\xB2\xE2\"}]}]}",  // not UTF-8 (GBK bytes)
           "{\"items\": [\xFF]}",                                       // not UTF-8, outside a string
       }) {
    SCOPED_TRACE(content);
    expect_general_failure(content);
  }
}

TEST_F(AskpoolServiceTest, UnreadablePathIsAGeneralError) {
  fs::create_directories(root_ / "skills" / "ravik-amazon-rufus" / "data" / "question_templates.json");
  EXPECT_THROW(AskpoolService((root_ / "skills").string()).load_templates(), std::system_error);
}

TEST_F(AskpoolServiceTest, QuestionsAreSortedStablyByPosition) {
  const auto templates = load(R"({"items": [{"questions": [
      {"id": 1, "position": 3}, {"id": 2, "position": 1}, {"id": 3, "position": 2},
      {"id": 4, "position": 1}, "dropped", 7, {"id": 5, "position": -1}]}]})");
  std::vector<std::int64_t> ids;
  for (const Question& question : templates.at(0).questions) ids.push_back(question.id);
  EXPECT_EQ(ids, (std::vector<std::int64_t>{5, 2, 4, 3, 1}));
}

TEST_F(AskpoolServiceTest, FieldsAreConvertedAndDefaulted) {
  const auto templates = load(R"({"version": 3, "items": [
      {"id": "7", "description": 12, "preferred_version_index": true, "created_at": {"t": [1, 2]},
       "updated_at": "2026-01-01", "ignored": 1,
       "questions": [{"id": " -7 ", "text": ["a", 1], "position": 2.9},
                     {"id": -2.9, "text": "为什么？", "position": false}]},
      {"questions": {"id": 1}},
      {"questions": "text"},
      {"id": 3.0, "questions": [{}]}]})");
  ASSERT_EQ(templates.size(), 4u);
  const QuestionTemplate& first = templates[0];
  EXPECT_EQ(first.id, 7);
  EXPECT_EQ(first.description, "12");
  EXPECT_EQ(first.preferred_version_index, 1);
  EXPECT_EQ(first.created_at, Json::parse(R"({"t": [1, 2]})"));
  EXPECT_EQ(first.updated_at, "2026-01-01");
  EXPECT_EQ(first.questions, (std::vector<Question>{{.id = -2, .text = "为什么？", .position = 0},
                                                     {.id = -7, .text = R"(["a",1])", .position = 2}}));
  EXPECT_TRUE(templates[1].questions.empty());
  EXPECT_TRUE(templates[2].questions.empty());
  EXPECT_EQ(templates[3], (QuestionTemplate{.id = 3,
                                            .description = "",
                                            .preferred_version_index = 0,
                                            .questions = {Question{}},
                                            .created_at = nullptr,
                                            .updated_at = nullptr}));
}

TEST_F(AskpoolServiceTest, BundledExampleBankLoads) {
  const fs::path example = fs::path(RAVIK_EXAMPLE_SKILLS_DIR);
  const auto templates = AskpoolService(example.string()).load_templates();
  ASSERT_FALSE(templates.empty());
  EXPECT_FALSE(templates.front().questions.empty());
}

TEST_F(AskpoolServiceTest, AnEmptyHomeCountsAsUnsetForTheTilde) {
  const passwd* entry = ::getpwuid(::getuid());
  if (entry == nullptr) GTEST_SKIP() << "no password entry for this user";
  const fs::path own_home = entry->pw_dir;
  for (const char* home : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(home ? "empty HOME" : "no HOME");
    const ScopedVariable variable("HOME", home);
    EXPECT_EQ(AskpoolService("~/skills").skills_dir(), own_home / "skills");
  }
}

TEST_F(AskpoolServiceTest, IntegersTakeExactlyTheSignedSixtyFourBitRange) {
  const auto only_question = [this](const std::string& question) {
    return load(R"({"items": [{"questions": [)" + question + "]}]}").at(0).questions.at(0);
  };
  EXPECT_EQ(only_question(R"({"id": -9223372036854775808, "position": 9223372036854775807})"),
            (Question{.id = INT64_MIN, .text = "", .position = INT64_MAX}));
  EXPECT_EQ(only_question(R"({"id": "-9223372036854775808", "position": " 9223372036854775807 "})"),
            (Question{.id = INT64_MIN, .text = "", .position = INT64_MAX}));
  EXPECT_EQ(only_question(R"({"id": -9.223372036854775808e18, "position": 9.2233720368547748e18})").id, INT64_MIN);

  for (const char* question : {
           R"({"id": -9223372036854775809})",  // a float on the way would round it to INT64_MIN
           R"({"id": 9223372036854775808})",
           R"({"position": 18446744073709551615})",
           R"({"position": 18446744073709551616})",
           R"({"id": -100000000000000000000000})",
           R"({"id": "-9223372036854775809"})",
           R"({"id": "9223372036854775808"})",
           R"({"id": 9.2233720368547758e18})",
           R"({"id": -9.3e18})",
       }) {
    SCOPED_TRACE(question);
    const std::string message = general_error_message<std::out_of_range>(
        R"({"items": [{"questions": [)" + std::string(question) + "]}]}");
    EXPECT_NE(message.find("超出 64 位"), std::string::npos) << message;
  }
  const std::string infinite = general_error_message<std::out_of_range>(R"({"items": [{"id": 1e400, "questions": [{}]}]})");
  EXPECT_NE(infinite.find("不是有限数"), std::string::npos) << infinite;
  EXPECT_EQ(infinite.find("null"), std::string::npos) << infinite;
}

TEST_F(AskpoolServiceTest, IntegersBeyondSixtyFourBitsInAnyFieldReadAreAGeneralError) {
  // The widest 64-bit values keep their exact value in every kind of field.
  const auto templates = load(R"({"items": [{"description": 18446744073709551615, "created_at": -9223372036854775808,
      "updated_at": {"n": [18446744073709551615]}, "questions": [{"text": -9223372036854775808}]}]})");
  EXPECT_EQ(templates.at(0).description, "18446744073709551615");
  EXPECT_EQ(templates.at(0).created_at, Json(INT64_MIN));
  EXPECT_EQ(templates.at(0).updated_at, Json::parse(R"({"n": [18446744073709551615]})"));
  EXPECT_EQ(templates.at(0).questions.at(0).text, "-9223372036854775808");

  // One further, they fail in every field that is read ...
  for (const char* item : {
           R"({"description": 18446744073709551616, "questions": [{}]})",
           R"({"created_at": -9223372036854775809, "questions": [{}]})",
           R"({"updated_at": {"n": [1, 18446744073709551616]}, "questions": [{}]})",
           R"({"questions": [{"text": [-9223372036854775809]}]})",
           R"({"questions": [{"id": 1, "text": 100000000000000000000000000000}]})",
       }) {
    SCOPED_TRACE(item);
    const std::string message = general_error_message<std::out_of_range>(R"({"items": [)" + std::string(item) + "]}");
    EXPECT_NE(message.find("超出 64 位"), std::string::npos) << message;
  }
  // ... and are ignored where nothing is read.
  EXPECT_EQ(load(R"({"size": 18446744073709551616, "items": [{"extra": -9223372036854775809,
      "questions": [{"note": 18446744073709551616, "text": "问"}, 18446744073709551616]}]})").at(0).questions.size(), 1u);
}

TEST_F(AskpoolServiceTest, GeneralErrorsNameTheFileAndTheFault) {
  const fs::path file = write_bank("");
  const std::pair<const char*, const char*> cases[] = {
      {"{\"items\": [{\"questions\": [{\"text\": \"\xB2\xE2\"}]}]}", "UTF-8"},
      {"[]", "顶层"},
      {R"({"items": [{"questions": [{}]}, 3]})", "第 2 项"},
      {R"({"items": [{"questions": null}]})", "\"questions\""},
      {R"({"items": [{"questions": [{"position": "1.5"}]}]})", "\"position\" 的值 \"1.5\" 无法转换为整数"},
      {R"({"items": [{"questions": [{"id": 1e300}]}]})", "\"id\" 的值 1e+300 超出 64 位整数范围"},
      {R"({"items": [{"questions": [{"id": -9223372036854775809}]}]})",
       "\"id\" 的值 -9223372036854775809 超出 64 位整数范围"},
      {R"({"items": [{"created_at": [18446744073709551616], "questions": [{}]}]})", "18446744073709551616 超出 64 位"},
  };
  for (const auto& [content, fault] : cases) {
    SCOPED_TRACE(content);
    const std::string message = general_error_message<std::exception>(content);
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_NE(message.find(fault), std::string::npos) << message;
  }
}

TEST_F(AskpoolServiceTest, AFifoInPlaceOfTheBankIsAGeneralErrorWithoutWaiting) {
  const fs::path fifo = write_bank("");
  fs::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto loaded = std::async(std::launch::async, [this] {
    try {
      (void)AskpoolService((root_ / "skills").string()).load_templates();
    } catch (const AskpoolNotReadyError& error) {
      return std::string("not ready: ") + error.what();
    } catch (const std::system_error& error) {
      return std::string(error.what());
    }
    return std::string("loaded");
  });
  if (loaded.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "the load waits on the FIFO";
    ::close(::open(fifo.c_str(), O_WRONLY));  // release it
  }
  const std::string message = loaded.get();
  EXPECT_NE(message.find("not a regular file"), std::string::npos) << message;
  EXPECT_NE(message.find(fifo.string()), std::string::npos) << message;
}

TEST_F(AskpoolServiceTest, RepeatedKeysKeepTheirLastValueInTheFirstPlace) {
  const auto templates = load(R"({"items": [{"id": "abc", "questions": [{}]}], "items": [
      {"id": "abc", "id": 2, "created_at": {"k": 1, "m": 0, "k": [2]},
       "questions": [{"id": null, "text": "a", "position": 1, "text": "b", "id": 5}], "questions": [{"id": 6}]}]})");
  ASSERT_EQ(templates.size(), 1u);
  EXPECT_EQ(templates[0].id, 2);
  EXPECT_EQ(templates[0].created_at.dump(), R"({"k":[2],"m":0})");
  EXPECT_EQ(templates[0].questions, (std::vector<Question>{{.id = 6, .text = "", .position = 0}}));
  EXPECT_EQ(load(R"({"items": [{"questions": [{"text": "a", "id": 5, "text": "b", "id": 1}]}]})").at(0).questions,
            (std::vector<Question>{{.id = 1, .text = "b", .position = 0}}));

  // A later value that cannot be converted fails, whatever came before it.
  expect_general_failure(R"({"items": [{"id": 1, "id": "abc", "questions": [{}]}]})");
  EXPECT_EQ(not_ready_message(R"({"items": [{"questions": [{}]}], "items": 1})"), NO_ITEMS);
}

TEST_F(AskpoolServiceTest, SyntaxErrorsAnywhereOutrankFaultsOfTheContents) {
  const fs::path file = write_bank("");
  for (const char* content : {
           R"({"version": [1 2], "items": [{"questions": [{}]}]})",         // in a key that is not read
           R"({"items": [{"questions": [{"text": "问", "note": tru}]}]})",
           R"({"items": [{"id": "abc", "questions": [{}]}], "x": [1,]})",   // after a conversion fault
           R"({"items": [3, {"questions": [{}]}], "x": 01})",               // after a shape fault
           R"([1, 2)",
           R"({"items": [{"questions": [{"text": NaN}]}]})",
           R"({"items": [{"questions": [{}]}], "n": -Infinity})",
           R"({"items": [{"questions": [{"text": "\ud800"}]}]})",            // lone surrogates
           R"({"items": [{"questions": [{}]}], "\udc00": 1})",
       }) {
    SCOPED_TRACE(content);
    EXPECT_EQ(not_ready_message(content), "题库 JSON 格式错误: " + file.string());
  }
}

TEST_F(AskpoolServiceTest, TextThatIsNotUtf8IsTheFaultEvenAfterASyntaxError) {
  const std::string message = general_error_message<std::runtime_error>("{\"items\": [} \"\xB2\xE2\"");
  EXPECT_NE(message.find("不是有效的 UTF-8 文本（第 14 字节附近）"), std::string::npos) << message;
}

TEST_F(AskpoolServiceTest, NestingDeeperThanAThousandLevelsIsAGeneralError) {
  const auto bank_with_depth = [](int depth) {  // the top-level object is one level
    return R"({"items": [{"questions": [{}]}], "deep": )" + std::string(depth - 1, '[') + std::string(depth - 1, ']') +
           "}";
  };
  EXPECT_EQ(load(bank_with_depth(1000)).size(), 1u);
  const fs::path file = write_bank("");
  const std::string message = general_error_message<std::length_error>(bank_with_depth(1001));
  EXPECT_NE(message.find(file.string()), std::string::npos) << message;
}

}  // namespace
}  // namespace ravik::amazon_rufus::services
