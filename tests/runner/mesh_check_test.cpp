// The mesh check: what split, merge, unparent and rest-pose runs do to a weight-mapped arm
// mesh, through the runner as a rigger uses it; and the check's own bookkeeping (times that
// pose the mesh alike, the work budget, counting a lost map's points).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "runner/checks/mesh_check.h"
#include "runner/checks/rig_deformation.h"
#include "runner/checks/run_check.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lwo/object_files.h"
#include "standin/files/scene_file.h"
#include "support/lwo_writer.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace lwo_test;

// A column of 21 points at x = 0.1 from z = 0 to 2. "Upper" weighs 1 up to z = 0.9 and fades
// out by z = 1.1; "Lower" is the rest: it gives 11 points a weight (z = 1.0 to 2.0), and
// the point at z = 1.0 is in both. Without `overlap` that point is Upper's alone.
std::string armObject(bool overlap = true) {
  std::vector<P> points;
  std::vector<W> upper, lower;
  for (std::uint32_t i = 0; i <= 20; ++i) {
    const float z = static_cast<float>(i) / 10;
    points.push_back({0.1f, 0, z});
    const float u = i <= 9 ? 1.0f : i >= 11 ? 0.0f : overlap ? 0.5f : 1.0f;
    if (u > 0) upper.push_back({i, u});
    if (u < 1) lower.push_back({i, 1 - u});
  }
  return form("LWO2",
              layr(0) + pnts(points) + vmap("WGHT", "Upper", upper) + vmap("WGHT", "Lower", lower));
}

// Upper (0 to 1 along z) and its child Lower (1 to 2), weight map only on the maps of the
// same names, or by distance alone. `keyed`: both bend from rest at 0 s to their pose at 1 s,
// the current time; else they stand posed.
std::string armScene(bool keyed, bool weightMapOnly) {
  auto map = [&](const char* name) {
    return weightMapOnly ? std::string(R"(, "weightMap": ")") + name + R"(", "weightMapOnly": true)"
                         : std::string();
  };
  const std::string upperMotion =
      keyed ? R"("keys": [{"time": 0, "rotation": [0, 0, 0]}, {"time": 1, "rotation": [30, 0, 0]}])"
            : R"("rotation": [30, 0, 0])";
  const std::string lowerMotion =
      keyed
          ? R"("keys": [{"time": 0, "rotation": [0, 0, 0]}, {"time": 1, "rotation": [40, 45, 0]}])"
          : R"("rotation": [40, 45, 0])";
  return std::string(R"({"time": )") + (keyed ? "1" : "0") + R"(, "items": [
    {"name": "Body", "type": "object", "objectFile": "arm.lwo"},
    {"name": "Upper", "type": "bone", "parent": "Body", "restLength": 1)" +
         map("Upper") + ", " + upperMotion + R"(},
    {"name": "Lower", "type": "bone", "parent": "Upper", "restPosition": [0, 0, 1],
     "position": [0, 0, 1], "restLength": 1)" +
         map("Lower") + ", " + lowerMotion + R"(}
  ]})";
}

class MeshCheckRuns : public testing_support::FolderTest {
protected:
  MeshCheckRuns() { write("arm.lwo", armObject()); }

  using Outcome = runner_process::Outcome;
  Outcome vorrik(const std::string& arguments) { return runner_process::run(arguments, folder_); }
};

TEST_F(MeshCheckRuns, EachRunSaysWhetherAndWhereItMovedTheMesh) {
  const struct {
    const char* label;
    bool keyed, weightMapOnly, overlap;
    const char* run;
    bool moved;
    double time;           // of the largest move, when moved
    const char* worstMap;  // a map of the point that moved most
    const char* failure;   // what --check says, "" when it passes
  } cases[] = {
      // Both halves keep the pose and the map: every point stays where it was.
      {"split, weight map only, posed", false, true, false, "BoneSplit --select Upper percent=50",
       false, 0, "", ""},
      // A point that Upper's map shares with Lower's now counts Upper's weight twice (once
      // per half), so it turns more with Upper than before.
      {"split, weight map only, shared point", false, true, true,
       "BoneSplit --select Upper percent=50", true, 0, "Lower", "mesh 'Body': point 10 "},
      // By distance the halves share Upper's points otherwise than Upper did with Lower.
      {"split, by distance, posed", false, false, false, "BoneSplit --select Upper percent=50",
       true, 0, "", "mesh 'Body': point"},
      // The merged bone takes Upper's map: Lower's 11 points follow no bone and fall back.
      {"merge of two mapped bones, posed", false, true, true, "BoneMerge --select Upper,Lower",
       true, 0, "Lower", "weight map 'Lower': 11 points follow no bone"},
      // Unparented in place at 1 s, Lower no longer turns with Upper in between.
      {"unparent, keyed", true, true, true, "BoneUnParent --select Upper action=Unparent", true,
       0.5, "Lower", "Lower (at 0.5 s)"},
      // The bones' moves are what Restore rest is for, and the points move only with them.
      {"rest pose, keyed", true, true, true, "BoneUtil item=Body action=0", true, 1, "Lower", ""},
  };
  for (const auto& c : cases) {
    write("arm.lwo", armObject(c.overlap));
    const fs::path scene = write("arm.json", armScene(c.keyed, c.weightMapOnly));
    const std::string run = std::string("run ") + c.run + " --scene '" + scene.string() + "'";
    const Outcome json = vorrik(run + " --json");
    ASSERT_EQ(json.status, 0) << c.label << json.err;
    const nlohmann::json report = nlohmann::json::parse(json.out);
    const nlohmann::json& check = report["runs"][0]["meshCheck"];
    ASSERT_EQ(check["meshes"].size(), 1u) << c.label << check.dump();
    const nlohmann::json& mesh = check["meshes"][0];
    EXPECT_EQ(mesh["object"], "Body") << c.label;
    EXPECT_EQ(mesh["moved"].get<bool>(), c.moved) << c.label << mesh.dump();
    if (c.moved) {
      EXPECT_DOUBLE_EQ(mesh["time"].get<double>(), c.time) << c.label << mesh.dump();
      if (*c.worstMap) {
        const auto maps = mesh["weightMaps"].get<std::vector<std::string>>();
        EXPECT_NE(std::find(maps.begin(), maps.end(), c.worstMap), maps.end())
            << c.label << mesh.dump();
      }
    }

    const Outcome checked = vorrik(run + " --check");
    if (*c.failure) {
      EXPECT_EQ(checked.status, 3) << c.label << checked.err;
      EXPECT_NE(checked.err.find(c.failure), std::string::npos) << c.label << checked.err;
      EXPECT_NE(checked.out.find("MOVED    mesh 'Body'"), std::string::npos)
          << c.label << checked.out;
    } else {
      EXPECT_EQ(checked.status, 0) << c.label << checked.err;
      const std::string line =
          c.moved ? "moved    mesh 'Body'" : "still    mesh 'Body': no point of 21 moved";
      EXPECT_NE(checked.out.find(line), std::string::npos) << c.label << checked.out;
      EXPECT_EQ(checked.out.find("with the bones as asked (intended)") != std::string::npos,
                c.moved)
          << c.label << checked.out;
    }
  }
}

// Settings the deformation leaves out are named once per kind with the scene's objects.
TEST_F(MeshCheckRuns, TheReportNamesWhatTheDeformationDoesNotModel) {
  std::string text = armScene(false, true);
  const std::string upper = R"("name": "Upper", "type": "bone",)";
  const std::string lower = R"("name": "Lower", "type": "bone",)";
  text.replace(text.find(upper), upper.size(), upper + R"( "jointComp": true, "boneType": 1,)");
  text.replace(text.find(lower), lower.size(),
               lower + R"( "jointCompParent": true, "muscleFlex": true,)");
  const fs::path scene = write("arm.json", text);
  const std::string run = "run BoneUtil item=Body action=0 --scene '" + scene.string() + "'";
  const Outcome plain = vorrik(run);
  ASSERT_EQ(plain.status, 0) << plain.err;
  for (const char* note : {"note     joint compensation on 2 bones is not modelled\n",
                           "note     muscle flexing on 1 bone is not modelled\n",
                           "note     the joint bone type on 1 bone is not modelled\n"}) {
    EXPECT_EQ(plain.out.find(note), plain.out.rfind(note)) << note;
    EXPECT_NE(plain.out.find(note), std::string::npos) << note << plain.out;
  }
  const Outcome json = vorrik(run + " --json");
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json notes = nlohmann::json::parse(json.out)["sceneObjects"][0]["notModelled"];
  EXPECT_EQ(notes.size(), 3u) << notes.dump();
}

// The check on two scenes made directly: Lower's map handed to Upper after the "run".
TEST(MeshCheck, PosesThatRepeatAreComparedOnceAndTheBudgetThinsTheRest) {
  const testing_support::TempFolder folder;
  folder.write("arm.lwo", armObject());
  const std::string scene = folder.write("arm.json", armScene(true, true)).string();
  standin::Scene before = standin::loadSceneFile(scene);
  standin::loadObjectMeshesFor(before, scene, "");
  standin::Scene after = before;
  // Lower's map moves to Upper after the run: Lower's points now turn with Upper only.
  after.find(after.findByName("Lower"))->deformation.weightMap = "Upper";

  const struct {
    const char* label;
    std::vector<double> times;
    double budget;
    std::size_t compared, same, sampled;
    double worstTime;
  } cases[] = {
      // Before 0 s and after 1 s the keys hold: -1 and 0 pose alike, as do 1 and 2.
      {"held ends pose alike", {-1, 0, 0.5, 1, 2}, 1e9, 3, 2, 0, 1},
      // Room for about one pass: a sample of the points at each time, all of them at the time
      // the sample moved most (1 s, also the current time).
      {"budget for one time", {0, 0.25, 0.5, 0.75, 1}, 100, 1, 0, 4, 1},
  };
  for (const auto& c : cases) {
    const runner::MeshCheck check =
        runner::checkMeshes(before, false, after, c.times, 1e-6, c.budget);
    ASSERT_EQ(check.meshes.size(), 1u) << c.label;
    EXPECT_EQ(check.timesCompared, c.compared) << c.label;
    EXPECT_EQ(check.timesSame, c.same) << c.label;
    EXPECT_EQ(check.timesSampled, c.sampled) << c.label;
    EXPECT_TRUE(check.moved()) << c.label;
    EXPECT_EQ(check.meshes[0].time, c.worstTime) << c.label;
    // The lowest points hang on Upper alone and never move.
    EXPECT_GE(check.meshes[0].point, 10u) << c.label;
  }
  // At 0 s both bones are at rest: nothing moves, whatever the maps.
  const runner::MeshCheck atRest = runner::checkMeshes(before, false, after, {0}, 1e-6);
  EXPECT_FALSE(atRest.moved());
  EXPECT_EQ(atRest.meshes[0].distance, 0);

  std::vector<runner::LostMap> lost = {{"Body", "Lower", before.findByName("Body")},
                                       {"Body", "Nowhere", before.findByName("Body")},
                                       {"Null", "Lower", 0}};
  runner::countLostMapPoints(before, lost);
  EXPECT_TRUE(lost[0].pointsCounted);
  EXPECT_EQ(lost[0].points, 11u);
  EXPECT_EQ(runner::lostMapText(lost[0]), "weight map 'Lower': 11 points follow no bone");
  EXPECT_EQ(lost[1].points, 0u);
  EXPECT_FALSE(lost[2].pointsCounted);
  EXPECT_EQ(runner::lostMapText(lost[2]), "weight map 'Lower': its points follow no bone");
}

}  // namespace
