// Every row of the bone settings table reaches every place that handles bone settings: the
// stand-in command for it changes it, a .lws file (written new, and edited line by line) and
// the JSON form carry the change, and the rig check shows it.
#include "standin/scene/bone_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "runner/checks/rig_check.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"
#include "standin/layout/commands.h"

namespace {

using standin::BoneSetting;
using standin::BoneSettingKind;
using standin::Item;
using standin::Scene;

// A weight-mapped bone with its range and every compensation on, so that the lines Layout
// writes only with a map or a flag on are in the file, and a change to any setting shows.
Scene mappedBone() {
  Scene scene;
  const standin::ItemId object = scene.addObject("Leg");
  const standin::ItemId thigh = scene.addBone(object, object, "Thigh");
  standin::BoneDeformation& d = scene.find(thigh)->deformation;
  d.weightMap = "Thigh";
  d.limitedRange = d.jointComp = d.jointCompParent = d.muscleFlex = d.muscleFlexParent = true;
  return scene;
}

const Item& thighOf(const Scene& scene) { return *scene.find(scene.findByName("Thigh")); }

// The command that changes the row's setting from the bone's value above.
std::string changeCommand(const BoneSetting& s) {
  std::string line(s.command);
  switch (s.kind) {
    case BoneSettingKind::Name: return line + " Calf";
    case BoneSettingKind::Number: return line + " 0.25";
    case BoneSettingKind::AmountPair: return line + " 0.5 0.75";
    case BoneSettingKind::Flag:
    case BoneSettingKind::FlagAmount: break;
  }
  return line;
}

// The scene after the command, written as .lws and read back, and the same through JSON.
void expectCarried(const Scene& scene, const BoneSetting& s) {
  const Item& now = thighOf(scene);
  const Scene lws = standin::sceneFromLws(standin::sceneToLws(scene), "leg.lws");
  EXPECT_TRUE(standin::sameBoneSettings(thighOf(lws), now)) << s.lws;
  const Scene json = standin::sceneFromJson(standin::sceneToJson(scene));
  EXPECT_TRUE(standin::sameBoneSettings(thighOf(json), now)) << s.json;
}

TEST(BoneSettingsTable, EachRowGoesThroughCommandsFilesAndTheRigCheck) {
  // Written anew, and read back from a file so that writing keeps the file's lines.
  const Scene fresh = mappedBone();
  const Scene read = standin::sceneFromLws(standin::sceneToLws(fresh), "leg.lws");
  ASSERT_TRUE(standin::sameBoneSettings(thighOf(read), thighOf(fresh)));
  for (const BoneSetting& s : standin::kBoneSettings) {
    SCOPED_TRACE(std::string(s.command));
    ASSERT_FALSE(s.command.empty());
    for (const Scene* start : {&fresh, &read}) {
      Scene scene = *start;
      scene.select(scene.findByName("Thigh"));
      const standin::CommandOutcome outcome = standin::executeCommand(scene, changeCommand(s));
      ASSERT_TRUE(outcome.ok) << outcome.why;
      EXPECT_FALSE(standin::sameSetting(s, thighOf(scene), thighOf(*start)));
      expectCarried(scene, s);
      // Activity has a column of its own rather than a settings row.
      if (s.shown.empty()) continue;
      const runner::RigChanges changes =
          runner::compareRigs(runner::RigSnapshot(*start), runner::RigSnapshot(scene));
      ASSERT_EQ(changes.settingsChanged.size(), 1u);
      const auto& values = changes.settingsChanged[0].values;
      EXPECT_TRUE(std::any_of(values.begin(), values.end(),
                              [&](const runner::SettingChange& v) { return v.field == s.shown; }));
    }
  }
}

}  // namespace
