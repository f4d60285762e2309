// The vorrik runner as a user meets it: scripts in, a report or JSON out, clear errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class RunnerTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("vorrik-runner-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path write(const std::string& name, const std::string& text) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  Outcome vorrik(const std::string& arguments) {
    const fs::path out = folder_ / "stdout.txt";
    const fs::path err = folder_ / "stderr.txt";
    const std::string command = std::string("'") + VORRIK_RUNNER_PATH + "' " + arguments +
                                " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = readFile(out);
    outcome.err = readFile(err);
    return outcome;
  }

  fs::path folder_;
};

const char* const kProps = R"({"items": [
  {"name": "Table", "type": "object"},
  {"name": "Cup", "type": "object", "position": [0, 1, 0]},
  {"name": "Plate", "type": "object", "position": [0.5, 1, 0]}
]})";

TEST_F(RunnerTest, PlayJsonCarriesCommandsTraceAndTheFinalScene) {
  write("props.json", kProps);
  const fs::path script = write("parent.vrk",
                                "# parent the cup and plate to the table, copy and paste a pose\n"
                                "load " + (folder_ / "props.json").string() + "\n"
                                "select Table Cup Plate\n"
                                "run QuickParent\n"
                                "select Cup\n"
                                "run CopyKey\n"
                                "time 2\n"
                                "select Plate\n"
                                "run PasteKey\n"
                                "save " + (folder_ / "after.json").string() + "\n");
  const Outcome outcome = vorrik("play --json '" + script.string() + "'");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const nlohmann::json report = nlohmann::json::parse(outcome.out);
  ASSERT_EQ(report["runs"].size(), 3u);

  const nlohmann::json& quickParent = report["runs"][0];
  EXPECT_EQ(quickParent["server"], "Vorrik:QuickParent");
  EXPECT_EQ(quickParent["result"], 0);
  const std::vector<std::string> commands = {"SelectItem 10000001", "ParentItem 10000000",
                                             "SelectItem 10000002", "ParentItem 10000000"};
  ASSERT_EQ(quickParent["commands"].size(), commands.size());
  for (std::size_t i = 0; i < commands.size(); ++i) {
    EXPECT_EQ(quickParent["commands"][i]["text"], commands[i]);
    EXPECT_EQ(quickParent["commands"][i]["ok"], true);
    // The module's own debugger line for the same command, in the same order.
    EXPECT_EQ(quickParent["trace"][i], "[Command] : " + commands[i]);
  }
  EXPECT_TRUE(report["runs"][1]["commands"].empty());
  EXPECT_EQ(report["runs"][2]["commands"][4]["text"], "CreateKey 2");

  // The final scene: ids as Layout's hex text, the new hierarchy, Plate keyed at 2.
  const nlohmann::json& items = report["scene"]["items"];
  EXPECT_EQ(items[1]["id"], "10000001");
  EXPECT_EQ(items[1]["parent"], "Table");
  EXPECT_EQ(items[2]["parent"], "Table");
  ASSERT_EQ(items[2]["keys"].size(), 1u);
  EXPECT_EQ(items[2]["keys"][0]["time"], 2);
  EXPECT_EQ(items[2]["keys"][0]["position"], nlohmann::json::array({0, 1, 0}));

  // The saved file is the final scene.
  EXPECT_EQ(nlohmann::json::parse(readFile(folder_ / "after.json")), report["scene"]);
}

TEST_F(RunnerTest, TheReportNamesServersCommandsAndMessages) {
  const Outcome outcome = vorrik("run QuickParent --select Hips");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("Vorrik:QuickParent"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("Please select multiple object."), std::string::npos);
  EXPECT_NE(outcome.out.find("no commands"), std::string::npos);
}

TEST_F(RunnerTest, TheDemoRigWorksWithTheFirstTools) {
  const Outcome outcome = vorrik("run QuickParent --select Hero,Sword,Shield --json");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const nlohmann::json report = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(report["runs"][0]["commands"].size(), 4u);
  for (const auto& item : report["scene"]["items"]) {
    if (item["name"] == "Sword" || item["name"] == "Shield") {
      EXPECT_EQ(item["parent"], "Hero");
    }
  }
}

TEST_F(RunnerTest, BadInputIsOneErrorLineStatusTwoAndNoFileWritten) {
  write("props.json", kProps);
  write("broken.json", R"({"items": [{"name": "A", "type": "object", "parent": "Nobody"}]})");
  const std::string props = (folder_ / "props.json").string();
  const std::string out = (folder_ / "out.json").string();
  struct Case {
    const char* what;
    std::string arguments;
    std::string errorContains;
  };
  const Case cases[] = {
      {"unknown tool", "run SplitEverything --out '" + out + "'", "SplitEverything"},
      {"unknown name in select", "run QuickParent --scene '" + props + "' --select Table,Mug --out '" + out + "'",
       "Mug"},
      {"invalid scene", "run CopyKey --scene '" + (folder_ / "broken.json").string() + "' --out '" + out + "'",
       "Nobody"},
      {"missing scene file", "run CopyKey --scene '" + (folder_ / "none.json").string() + "' --out '" + out + "'",
       "none.json"},
      {"an answer the tool does not take", "run QuickParent percent=20 --out '" + out + "'", "percent"},
      {"a bad time", "run CopyKey --time soon --out '" + out + "'", "soon"},
      {"unknown option", "run CopyKey --fast --out '" + out + "'", "--fast"},
      {"unknown command", "fly", "fly"},
      {"no script", "play '" + (folder_ / "missing.vrk").string() + "'", "missing.vrk"},
  };
  for (const Case& c : cases) {
    write("out.json", "old contents");
    const Outcome outcome = vorrik(c.arguments);
    EXPECT_EQ(outcome.status, 2) << c.what << ": " << outcome.err;
    EXPECT_EQ(outcome.err.rfind("vorrik: ", 0), 0u) << c.what << ": " << outcome.err;
    EXPECT_NE(outcome.err.find(c.errorContains), std::string::npos) << c.what << ": " << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << c.what;
    EXPECT_EQ(readFile(out), "old contents") << c.what;
  }
}

TEST_F(RunnerTest, AFailingStepLaterInAScriptWritesNoEarlierSave) {
  write("props.json", kProps);
  const fs::path saved = folder_ / "saved.json";
  const fs::path script = write("late.vrk", "load " + (folder_ / "props.json").string() +
                                                "\nsave " + saved.string() +
                                                "\nselect Table Saucer\nrun QuickParent\n");
  const Outcome outcome = vorrik("play '" + script.string() + "'");
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("line 3"), std::string::npos) << outcome.err;
  EXPECT_FALSE(fs::exists(saved));
}

TEST_F(RunnerTest, HelpIsThereForEveryCommand) {
  for (const char* arguments : {"--help", "play --help", "run --help"}) {
    const Outcome outcome = vorrik(arguments);
    EXPECT_EQ(outcome.status, 0) << arguments;
    EXPECT_NE(outcome.out.find("usage"), std::string::npos) << arguments;
  }
}

TEST_F(RunnerTest, AModuleThatCannotBeLoadedIsAFailureNotBadInput) {
  const Outcome outcome = vorrik("run CopyKey --module '" + (folder_ / "Nothing.p").string() + "'");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err.rfind("vorrik: ", 0), 0u) << outcome.err;
}

}  // namespace
