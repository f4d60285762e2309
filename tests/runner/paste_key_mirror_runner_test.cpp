// PasteKeyMirror through the runner: the axis answer, bad answers, --check as for PasteKey,
// and examples/paste_key_mirror.vrk, whose right arm must end where the mirror of the left
// one was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "runner/script/script.h"
#include "support/file_text.h"
#include "support/picture_check.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using runner_process::Outcome;

TEST(PasteKeyMirrorScript, TheAxisAnswer) {
  struct Case {
    const char* line;
    std::string answer;  // the axis taken, or the start of the error
    bool ok;
  };
  const Case cases[] = {
      {"run PasteKeyMirror", "", true},
      {"run Vorrik:PasteKeyMirror axis=x", "x", true},
      {"run PasteKeyMirror axis=z cancel", "z", true},
      {"run PasteKeyMirror axis=w", "line 1: axis must be x, y or z, not \"w\"", false},
      {"run PasteKeyMirror axis=X", "line 1: axis must be x, y or z, not \"X\"", false},
      {"run PasteKeyMirror action=0",
       "line 1: PasteKeyMirror takes no \"action\" answer (it takes cancel, axis=x|y|z)", false},
      {"run PasteKey axis=x", "line 1: PasteKey takes no \"axis\" answer (it takes cancel)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    try {
      const std::vector<runner::Step> steps = runner::parseScript(c.line);
      ASSERT_TRUE(c.ok);
      ASSERT_EQ(steps.size(), 1u);
      const runner::RunRequest& run = steps[0].run;
      EXPECT_EQ(run.tool, "PasteKeyMirror");
      EXPECT_EQ(run.answers.empty() ? "" : run.answers[0].value, c.answer);
    } catch (const runner::ScriptError& error) {
      EXPECT_FALSE(c.ok) << error.what();
      EXPECT_EQ(std::string(error.what()).rfind(c.answer, 0), 0u) << error.what();
    }
  }
}

class PasteKeyMirrorRunner : public testing_support::FolderTest {
protected:
  fs::path write(const std::string& name, const std::string& text) {
    return TempFolder::write(name, text);
  }
  Outcome vorrik(const std::string& arguments, const fs::path& workingDir = {}) {
    return runner_process::run(arguments, folder_, workingDir);
  }
};

// The demo rig: L_UpperArm is lowered at 1 s, and the right arm with it.
const char* const kCopyAtOne = "demo\ntime 1\nselect L_UpperArm\nrun CopyKey\ntime 0\n";

TEST_F(PasteKeyMirrorRunner, AnswersExitStatusesAndCheckAsForPasteKey) {
  const std::string out = (folder_ / "out.json").string();
  struct Case {
    const char* what;
    std::string script;  // played; empty: `arguments` are run as they are
    std::string arguments;
    int status;
    std::string errorStart;  // "" for none
    int choice;              // the axis the dialog was answered with; -1: no dialog
    std::size_t commands;
  };
  const Case cases[] = {
      // Five commands key R_UpperArm; the sixth selects L_UpperArm again.
      {"the default axis", std::string(kCopyAtOne) + "run PasteKeyMirror\n", "", 0, "", 0, 6},
      {"axis=y", std::string(kCopyAtOne) + "run PasteKeyMirror axis=y\n", "", 0, "", 1, 6},
      {"axis=z", std::string(kCopyAtOne) + "run PasteKeyMirror axis=z\n", "", 0, "", 2, 6},
      {"cancel", std::string(kCopyAtOne) + "run PasteKeyMirror cancel\n", "", 0, "", -1, 0},
      {"an axis that is no choice", std::string(kCopyAtOne) + "run PasteKeyMirror axis=w\n", "", 2,
       "vorrik: " + fs::path(folder_ / "case.vrk").string() +
           ": line 6: axis must be x, y or z, not \"w\"",
       -1, 0},
      {"an axis that is no choice in run", "", "run PasteKeyMirror axis=up --out '" + out + "'", 2,
       "vorrik: axis must be x, y or z, not \"up\"", -1, 0},
      // The right arm moves as asked: the items pasted onto and what hangs from them.
      {"--check passes as for PasteKey",
       std::string(kCopyAtOne) + "run PasteKeyMirror\nsave \"" + out + "\"\n", "--check", 0, "", 0,
       6},
      {"PasteKey in its place",
       std::string(kCopyAtOne) + "select R_UpperArm\nrun PasteKey\nsave \"" + out + "\"\n",
       "--check", 0, "", -1, 6},
      {"nothing copied: --check passes, as for PasteKey", "",
       "run PasteKeyMirror --check --out '" + out + "'", 0, "", -1, 0},
  };
  for (const Case& c : cases) {
    fs::remove(out);
    std::string arguments = c.arguments;
    if (!c.script.empty()) {
      arguments = "play --json " + c.arguments + " '" + write("case.vrk", c.script).string() + "'";
    } else {
      arguments += " --json";
    }
    const Outcome outcome = vorrik(arguments);
    EXPECT_EQ(outcome.status, c.status) << c.what << ": " << outcome.err;
    if (c.errorStart.empty()) {
      EXPECT_EQ(outcome.err, "") << c.what;
    } else {
      EXPECT_EQ(outcome.err.rfind(c.errorStart, 0), 0u) << c.what << ": " << outcome.err;
      EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << c.what;
    }
    // Bad input and a failed check write nothing; everything else writes what it was asked.
    const bool asked = (arguments + c.script).find(out) != std::string::npos;
    EXPECT_EQ(fs::exists(out), c.status == 0 && asked) << c.what;
    if (c.status == 2) continue;
    const nlohmann::json report = nlohmann::json::parse(outcome.out);
    const nlohmann::json& last = report["runs"].back();
    EXPECT_EQ(last["commands"].size(), c.commands) << c.what;
    for (const auto& command : last["commands"]) EXPECT_TRUE(command["ok"]) << c.what;
    const bool answered = !last["dialogs"].empty() && last["dialogs"][0]["ok"] == true;
    EXPECT_EQ(answered ? last["dialogs"][0]["controls"][0]["value"].get<int>() : -1, c.choice)
        << c.what;
  }
}

// The usage texts are written by hand: they must still name every tool the scripts take and
// the axis answer.
TEST_F(PasteKeyMirrorRunner, TheUsageNamesEveryToolAndTheAxisAnswer) {
  const std::string usage = vorrik("--help").out;
  for (const std::string& tool : runner::toolNames()) {
    EXPECT_TRUE(std::regex_search(usage, std::regex("\\s" + tool + "\\s"))) << tool;
  }
  for (const char* command : {"play --help", "run --help"}) {
    EXPECT_NE(vorrik(command).out.find("axis=x|y|z"), std::string::npos) << command;
  }
}

// Bone tips at the end of a run, by name, from the rig check of that run in the JSON report.
std::map<std::string, std::vector<double>> tipsAfter(const nlohmann::json& run) {
  std::map<std::string, std::vector<double>> tips;
  for (const auto& moved : run["changes"]["moved"]) {
    if (moved.contains("tip")) tips[moved["name"]] = moved["tip"][1].get<std::vector<double>>();
  }
  return tips;
}

TEST_F(PasteKeyMirrorRunner, TheExampleMirrorsTheLeftArmOntoTheRight) {
  const fs::path examples = VORRIK_EXAMPLES_DIR;
  const fs::path svg = folder_ / "mirror.svg";
  const Outcome outcome =
      vorrik("play --json --svg '" + svg.string() + "' paste_key_mirror.vrk", examples);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const nlohmann::json report = nlohmann::json::parse(outcome.out);
  const nlohmann::json& runs = report["runs"];
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[1]["server"], "Vorrik:PasteKey");
  EXPECT_EQ(runs[3]["server"], "Vorrik:PasteKeyMirror");
  EXPECT_TRUE(runs[3]["messages"].empty());

  // The left arm as PasteKey posed it at 0 s, the right arm as PasteKeyMirror left it at 1 s:
  // every bone of both arms moved, and each right tip is the mirror of the left one (the
  // character stands at the origin, its plane x = 0), within the rig check's tolerance.
  const auto left = tipsAfter(runs[1]), right = tipsAfter(runs[3]);
  const double tolerance = runs[3]["changes"]["tolerance"];
  const char* const kArm[] = {"Shoulder", "UpperArm", "Forearm", "Hand", "Finger", "FingerTip"};
  for (const char* bone : kArm) {
    const std::string l = std::string("L_") + bone, r = std::string("R_") + bone;
    ASSERT_EQ(left.count(l), 1u) << l;
    ASSERT_EQ(right.count(r), 1u) << r;
    const std::vector<double> mirror = {-left.at(l)[0], left.at(l)[1], left.at(l)[2]};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(right.at(r)[k], mirror[k], tolerance) << r << " " << k;
  }
  EXPECT_EQ(left.size(), 6u);
  EXPECT_EQ(right.size(), 6u);
  EXPECT_NO_THROW(picture_check::parseXml(testing_support::readFile(svg)));
}

}  // namespace
