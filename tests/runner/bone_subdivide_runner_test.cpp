// BoneSubdivide through the runner: count=N, a count outside 2 to 100 refused before anything
// runs, and --check with the saved file read back, on examples/arm.lws and on a keyed spine
// subdivided between keys.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "standin/files/scene_file.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using runner_process::Outcome;

class BoneSubdivideRunner : public testing_support::FolderTest {};

TEST_F(BoneSubdivideRunner, CountsAreCheckedAndTheSavedRigReadsBackTheSame) {
  const std::string examples = VORRIK_EXAMPLES_DIR;
  // Spine and the bones on it keyed at other times than the one the run is made at (0.5 s).
  const std::string keyed = examples + "/keyed_spine.json";
  const std::string out = path("out.lws");
  struct Case {
    const char* what;
    std::string arguments;
    int status;
    std::string errorStart;  // "" for none
    std::string bone;        // the bone cut, and its old length
    double length;
    int parts;          // 1: the rig as it was
    std::string child;  // a child bone that must hang from the last part
  };
  const Case cases[] = {
      {"Arm of arm.lws in four", "--scene '" + examples + "/arm.lws' --select Arm count=4 --check",
       0, "", "Arm", 0.6, 4, "Hand"},
      {"a keyed spine in four between keys",
       "--scene '" + keyed + "' --select Spine count=4 --check", 0, "", "Spine", 0.3, 4, "Chest"},
      {"a keyed spine in a hundred at a key",
       "--scene '" + keyed + "' --time 1 --select Spine count=100 --check", 0, "", "Spine", 0.3,
       100, "Chest"},
      {"cancel", "--scene '" + keyed + "' --select Spine cancel --check", 0, "", "Spine", 0.3, 1,
       "Chest"},
      // Refused before anything runs (script_test has the other counts refused).
      {"a count below 2", "--scene '" + keyed + "' --select Spine count=1", 2,
       "vorrik: count must be a whole number from 2 to 100, not \"1\"", "", 0, 0, ""},
  };
  for (const Case& c : cases) {
    fs::remove(out);
    const Outcome outcome =
        runner_process::run("run BoneSubdivide " + c.arguments + " --out '" + out + "'", folder_);
    EXPECT_EQ(outcome.status, c.status) << c.what << ": " << outcome.err;
    if (!c.errorStart.empty()) {
      EXPECT_EQ(outcome.err.rfind(c.errorStart, 0), 0u) << c.what << ": " << outcome.err;
      EXPECT_FALSE(fs::exists(out)) << c.what;
      continue;
    }
    EXPECT_EQ(outcome.err, "") << c.what;
    // The check has read the file back already; here the parts are counted in it.
    const standin::Scene saved = standin::loadSceneFile(out);
    std::vector<standin::ItemId> chain = {saved.findByName(c.bone)};
    for (int k = 2; k <= c.parts; ++k) {
      chain.push_back(saved.findByName(c.bone + std::to_string(k)));
      ASSERT_NE(chain.back(), 0u) << c.what << ": part " << k;
      EXPECT_EQ(saved.parentOf(chain.back()), chain[chain.size() - 2]) << c.what;
    }
    EXPECT_EQ(saved.findByName(c.bone + std::to_string(c.parts + 1)), 0u) << c.what;
    double total = 0;
    for (standin::ItemId part : chain) {
      EXPECT_NEAR(saved.find(part)->restLength, c.length / c.parts, 1e-6) << c.what;
      total += saved.find(part)->restLength;
    }
    EXPECT_NEAR(total, c.length, 1e-5) << c.what;
    EXPECT_EQ(saved.parentOf(saved.findByName(c.child)), chain.back()) << c.what;
  }
}

}  // namespace
