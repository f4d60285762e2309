// The vorrik runner as a user meets it: scripts in, a report or JSON out, clear errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/file_text.h"
#include "support/picture_check.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using runner_process::Outcome;

using testing_support::readFile;

class RunnerTest : public testing_support::FolderTest {
protected:
  Outcome vorrik(const std::string& arguments) { return runner_process::run(arguments, folder_); }
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
                                "load " +
                                    (folder_ / "props.json").string() +
                                    "\n"
                                    "select Table Cup Plate\n"
                                    "run QuickParent\n"
                                    "select Cup\n"
                                    "run CopyKey\n"
                                    "time 2\n"
                                    "select Plate\n"
                                    "run PasteKey\n"
                                    "save " +
                                    (folder_ / "after.json").string() + "\n");
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
      {"unknown name in select",
       "run QuickParent --scene '" + props + "' --select Table,Mug --out '" + out + "'", "Mug"},
      {"invalid scene",
       "run CopyKey --scene '" + (folder_ / "broken.json").string() + "' --out '" + out + "'",
       "Nobody"},
      {"missing scene file",
       "run CopyKey --scene '" + (folder_ / "none.json").string() + "' --out '" + out + "'",
       "none.json"},
      {"an answer the tool does not take", "run QuickParent percent=20 --out '" + out + "'",
       "percent"},
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
    EXPECT_NE(outcome.err.find(c.errorContains), std::string::npos)
        << c.what << ": " << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << c.what;
    EXPECT_EQ(readFile(out), "old contents") << c.what;
  }
}

TEST_F(RunnerTest, AFailingStepLaterInAScriptWritesNoEarlierSave) {
  write("props.json", kProps);
  const fs::path saved = folder_ / "saved.json";
  const fs::path script =
      write("late.vrk", "load " + (folder_ / "props.json").string() + "\nsave " + saved.string() +
                            "\nselect Table Saucer\nrun QuickParent\n");
  const Outcome outcome = vorrik("play '" + script.string() + "'");
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("line 3"), std::string::npos) << outcome.err;
  EXPECT_FALSE(fs::exists(saved));
}

TEST_F(RunnerTest, HelpIsThereForEveryCommand) {
  for (const char* arguments : {"--help", "play --help", "run --help", "demo --help"}) {
    const Outcome outcome = vorrik(arguments);
    EXPECT_EQ(outcome.status, 0) << arguments;
    EXPECT_NE(outcome.out.find("usage"), std::string::npos) << arguments;
    EXPECT_TRUE(outcome.err.empty()) << arguments;
  }
  EXPECT_NE(vorrik("demo --help").out.find("vorrik-demo"), std::string::npos);
  for (const char* option : {"--svg", "--check", "--dry-run"}) {
    EXPECT_NE(vorrik("run --help").out.find(option), std::string::npos) << option;
    EXPECT_NE(vorrik("play --help").out.find(option), std::string::npos) << option;
  }
}

TEST_F(RunnerTest, AModuleThatCannotBeLoadedIsAFailureNotBadInput) {
  const Outcome outcome = vorrik("run CopyKey --module '" + (folder_ / "Nothing.p").string() + "'");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err.rfind("vorrik: ", 0), 0u) << outcome.err;
}

// The demo rig as a scene file, with Layout's "Parent in Place" as given.
fs::path demoRigFile(const fs::path& folder, bool parentInPlace) {
  const fs::path path = folder / (parentInPlace ? "demo.json" : "demo-no-pip.json");
  const std::string command = std::string("'") + VORRIK_RUNNER_PATH + "' run CopyKey --out '" +
                              path.string() + "' >/dev/null";
  if (std::system(command.c_str()) != 0) return path;
  nlohmann::json scene = nlohmann::json::parse(readFile(path));
  scene["parentInPlace"] = parentInPlace;
  std::ofstream(path, std::ios::binary) << scene.dump(1);
  return path;
}

bool wellFormed(const std::string& text) {
  try {
    picture_check::parseXml(text);
    return true;
  } catch (const picture_check::XmlError&) {
    return false;
  }
}

TEST_F(RunnerTest, CheckFailsWithStatusThreeAndWritesNothingWhenARunMovesAnItem) {
  const std::string noPip = demoRigFile(folder_, false).string();
  const std::string out = (folder_ / "out.json").string();
  const std::string svg = (folder_ / "out.svg").string();
  const std::string files = " --out '" + out + "' --svg '" + svg + "'";
  struct Case {
    const char* what;
    std::string arguments;
    int status;
    bool written;
  };
  const Case cases[] = {
      {"a clean split", "run BoneSplit --select L_Forearm percent=30 --check" + files, 0, true},
      {"merging without parent in place",
       "run BoneMerge --scene '" + noPip + "' --select L_UpperArm,L_Forearm --check" + files, 3,
       false},
      {"the same without --check",
       "run BoneMerge --scene '" + noPip + "' --select L_UpperArm,L_Forearm" + files, 0, true},
      {"bad input comes first", "run BoneSplit --select Nobody --check" + files, 2, false},
  };
  for (const Case& c : cases) {
    fs::remove(out);
    fs::remove(svg);
    const Outcome outcome = vorrik(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.what << ": " << outcome.err;
    EXPECT_EQ(fs::exists(out), c.written) << c.what;
    EXPECT_EQ(fs::exists(svg), c.written) << c.what;
    if (c.status == 3) {
      EXPECT_EQ(outcome.err.rfind("vorrik: check failed: Vorrik:BoneMerge", 0), 0u) << outcome.err;
      // The demo's bones deform by their own weight maps: L_Forearm's map lost its bone.
      // L_Hand stays where it was, whatever Parent in Place says.
      EXPECT_NE(outcome.err.find("'L_Forearm'"), std::string::npos) << outcome.err;
      EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
      // Everything is still printed.
      EXPECT_NE(outcome.out.find("lost map"), std::string::npos) << outcome.out;
      EXPECT_EQ(outcome.out.find("moved       L_Hand"), std::string::npos) << outcome.out;
    }
    if (c.status == 0) {
      EXPECT_TRUE(outcome.err.empty()) << c.what << ": " << outcome.err;
      EXPECT_TRUE(wellFormed(readFile(svg))) << c.what;
    }
  }
}

TEST_F(RunnerTest, TheRigCheckFollowsTheCommandsAndIsInTheJson) {
  const Outcome text = vorrik("run BoneSplit --select L_Forearm percent=30");
  ASSERT_EQ(text.status, 0) << text.err;
  const std::size_t result = text.out.find("  result   0\n");
  const std::size_t check = text.out.find("  rig check  (moves under ");
  ASSERT_NE(check, std::string::npos) << text.out;
  EXPECT_LT(result, check);
  for (const char* line :
       {"    added       L_Forearm2  under L_Forearm\n",
        "    reparented  L_Hand      L_Forearm -> L_Forearm2\n",
        "    rest        L_Forearm   length    0.25          -> 0.075\n", "    no item moved\n"}) {
    EXPECT_NE(text.out.find(line, check), std::string::npos) << line << text.out;
  }
  EXPECT_EQ(text.out.find("{"), std::string::npos) << "no raw JSON in the report";

  const Outcome json = vorrik("run BoneSplit --select L_Forearm percent=30 --json");
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json changes = nlohmann::json::parse(json.out)["runs"][0]["changes"];
  EXPECT_EQ(changes["added"], nlohmann::json::parse(R"j(["L_Forearm2"])j"));
  EXPECT_TRUE(changes["removed"].empty());
  EXPECT_EQ(
      changes["reparented"],
      nlohmann::json::parse(R"j([{"name": "L_Hand", "from": "L_Forearm", "to": "L_Forearm2"}])j"));
  EXPECT_TRUE(changes["moved"].empty());
  EXPECT_GT(changes["tolerance"].get<double>(), 0);
}

TEST_F(RunnerTest, ADryRunPrintsEverythingAndWritesNoFile) {
  const fs::path saved = folder_ / "saved.json", drawn = folder_ / "drawn.svg",
                 svg = folder_ / "end.svg", demo = folder_ / "demo", body = folder_ / "Hero.lwo";
  const fs::path script =
      write("dry.vrk", "demo\nselect L_Forearm\nrun BoneSplit percent=30\ndraw \"" +
                           drawn.string() + "\"\nsave \"" + saved.string() + "\"\n");
  const Outcome played =
      vorrik("play --dry-run --svg '" + svg.string() + "' '" + script.string() + "'");
  EXPECT_EQ(played.status, 0) << played.err;
  EXPECT_NE(played.out.find("rig check"), std::string::npos);
  // The demo's body goes beside the saved scene.
  EXPECT_NE(played.out.find("dry run: not written: " + drawn.string() + " " + saved.string() + " " +
                            body.string() + " " + svg.string()),
            std::string::npos)
      << played.out;

  const Outcome ran =
      vorrik("run BoneSplit --select L_Forearm percent=30 --dry-run --json --out '" +
             saved.string() + "' --svg '" + svg.string() + "'");
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(nlohmann::json::parse(ran.out)["notWritten"].size(), 3u);

  const Outcome toured = vorrik("demo --dry-run --out '" + demo.string() + "'");
  EXPECT_EQ(toured.status, 0) << toured.err;
  EXPECT_NE(toured.out.find("dry run"), std::string::npos);

  for (const fs::path& path : {saved, drawn, svg, demo, body})
    EXPECT_FALSE(fs::exists(path)) << path;
}

TEST_F(RunnerTest, DrawStepsPictureTheLatestRunOrTheRigAsItIs) {
  const fs::path plain = folder_ / "plain.svg", run = folder_ / "run.svg";
  const fs::path script = write("draw.vrk", "demo\ndraw \"" + plain.string() +
                                                "\"\nselect Hero Sword\nrun QuickParent\n"
                                                "select Sword\ndraw \"" +
                                                run.string() + "\"\n");
  const Outcome outcome = vorrik("play '" + script.string() + "'");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const auto cells = [](const std::string& svg) {
    int count = 0;
    const auto root = picture_check::parseXml(svg);
    for (const picture_check::Element* e : root->all()) {
      count += e->name == "rect" && e->attribute("fill") == "#f8f8f5";
    }
    return count;
  };
  EXPECT_EQ(cells(readFile(plain)), 3);  // front, side, top
  EXPECT_EQ(cells(readFile(run)), 6);    // the same, before and after
  EXPECT_NE(readFile(run).find("Vorrik:QuickParent  (script line 4)"), std::string::npos);
}

TEST_F(RunnerTest, TheDemoToursEveryToolAndDrawsEachRun) {
  const fs::path demo = folder_ / "tour";
  const Outcome outcome = vorrik("demo --out '" + demo.string() + "'");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  for (const char* server : {"Vorrik:BoneSplit", "Vorrik:BoneMerge", "Vorrik:BoneUnParent",
                             "Vorrik:BoneUtil", "Vorrik:QuickParent", "Vorrik:CopyKey",
                             "Vorrik:PasteKey", "Vorrik:PasteKeyMirror", "Vorrik:BoneSubdivide"}) {
    EXPECT_NE(outcome.out.find(std::string(server) + "\n"), std::string::npos) << server;
  }
  EXPECT_NE(outcome.out.find("round trip, from before the first run to after the last:\n"
                             "  rig check  (moves under "),
            std::string::npos);
  EXPECT_EQ(outcome.out.find("REFUSED"), std::string::npos) << outcome.out;
  int pictures = 0;
  for (const auto& entry : fs::directory_iterator(demo)) {
    EXPECT_EQ(entry.path().extension(), ".svg");
    EXPECT_TRUE(wellFormed(readFile(entry.path()))) << entry.path();
    EXPECT_NE(outcome.out.find(entry.path().filename().string()), std::string::npos);
    ++pictures;
  }
  EXPECT_EQ(pictures, 10);
  EXPECT_NE(outcome.out.find("wrote 10 pictures to " + demo.string()), std::string::npos);
  EXPECT_EQ(vorrik("demo --fast").status, 2);
}

}  // namespace
