// The key tools and PasteKeyMirror read each item above the ones they work on once: on long
// chains, where each item's nearest centre item is far above it (a chain of sided bones) or
// is its parent (a chain of centre bones), four times the bones take four times the host
// calls, not sixteen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using standin::ItemId;
using standin::RunRecord;
using standin::Scene;
using testing_support::ToolHarness;

enum class Shape { Sided, Centre };

// A chain of `count` bones under one object; sided: L_b0, L_b1, ... beside the mirror chain
// R_b0, R_b1, ...; centre: every bone named "b", so each is its own counterpart.
Scene chain(Shape shape, std::size_t count, std::vector<ItemId>& copied) {
  Scene scene;
  const ItemId object = scene.addObject("Rig");
  for (const char* side : {"L_", "R_"}) {
    if (shape == Shape::Centre && side[0] == 'R') break;
    ItemId parent = object;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string name = shape == Shape::Sided ? side + std::to_string(i) : "b";
      parent = scene.addBone(object, parent, name);
      scene.setPosition(parent, {side[0] == 'L' ? 0.01 : -0.01, 0.001 * static_cast<double>(i), 1});
      scene.setRotation(parent, {side[0] == 'L' ? 0.1 : -0.1, 0.05, 0});
      if (side[0] == 'L') copied.push_back(parent);
    }
  }
  return scene;
}

TEST(MirrorScaling, HostCallsGrowWithTheBones) {
  struct Case {
    const char* what;
    const char* tool;
    Shape shape;
    double callsPerBone;  // at most, at either size
    std::size_t commandsPerBone;
  };
  const Case cases[] = {
      {"CopyKey, sided chain", "CopyKey", Shape::Sided, 20, 0},
      {"CutKey, sided chain", "CutKey", Shape::Sided, 20, 3},
      {"CopyKey, centre chain", "CopyKey", Shape::Centre, 20, 0},
      {"PasteKeyMirror, sided chain onto its mirror", "PasteKeyMirror", Shape::Sided, 16, 6},
      {"PasteKeyMirror, centre chain in place", "PasteKeyMirror", Shape::Centre, 19, 6},
  };
  for (const Case& c : cases) {
    std::vector<double> calls;
    for (std::size_t count : {400, 1600}) {
      const std::string what = std::string(c.what) + ", " + std::to_string(count) + " bones";
      std::vector<ItemId> copied;
      ToolHarness harness(chain(c.shape, count, copied));
      harness.scene().clearSelection();
      for (ItemId bone : copied) harness.scene().addToSelection(bone);
      const bool paste = std::string(c.tool) == "PasteKeyMirror";
      if (paste) harness.run("CopyKey");
      const RunRecord record = harness.run(c.tool);
      ASSERT_EQ(record.result, 0) << what;
      EXPECT_TRUE(record.messages.empty()) << what;
      EXPECT_EQ(record.commands.size(), c.commandsPerBone * count) << what;
      for (const auto& command : record.commands) ASSERT_TRUE(command.ok) << what;
      const double perBone = static_cast<double>(record.hostCalls) / static_cast<double>(count);
      EXPECT_LE(perBone, c.callsPerBone) << what;
      calls.push_back(perBone);
    }
    // Per bone, the larger chain takes what the smaller one does (a walk to the top for
    // each bone would take four times as many).
    EXPECT_LT(calls[1], calls[0] * 1.1) << c.what;
  }
}

}  // namespace
