// QuickParent: selection in, SelectItem/ParentItem pairs out, and who hangs from whom after.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/tool_harness.h"

namespace {

using testing_support::ToolHarness;

// Three nulls, a light, and a rig whose bone belongs to "Rig".
const char* const kScene = R"({"items": [
  {"name": "P", "type": "object", "position": [1, 0, 0]},
  {"name": "Q", "type": "object", "position": [0, 2, 0], "rotation": [30, 0, 0]},
  {"name": "R", "type": "object", "parent": "Q", "position": [0, 0, 3]},
  {"name": "Lamp", "type": "light", "position": [-2, 2, -2]},
  {"name": "Rig", "type": "object"},
  {"name": "Root", "type": "bone", "parent": "Rig", "restLength": 2}
]})";

struct Case {
  const char* what;
  std::vector<std::string> selection;
  std::vector<std::string> commands;  // {Name} is that item's id
  std::vector<std::string> messages;
  // Expected parents afterwards: {child, parent} ("" for none).
  std::vector<std::pair<std::string, std::string>> parents;
};

TEST(QuickParent, SelectionInCommandsOutAndTheHierarchyAfter) {
  const Case cases[] = {
      {"two items: the first is the parent",
       {"P", "Q"},
       {"SelectItem {Q}", "ParentItem {P}"},
       {},
       {{"Q", "P"}, {"R", "Q"}}},
      {"three items, in selection order",
       {"P", "Q", "Lamp"},
       {"SelectItem {Q}", "ParentItem {P}", "SelectItem {Lamp}", "ParentItem {P}"},
       {},
       {{"Q", "P"}, {"Lamp", "P"}}},
      {"the selection order decides, not the scene order",
       {"Q", "P", "Lamp"},
       {"SelectItem {P}", "ParentItem {Q}", "SelectItem {Lamp}", "ParentItem {Q}"},
       {},
       {{"P", "Q"}, {"Lamp", "Q"}}},
      {"one item: the message and nothing else",
       {"P"},
       {},
       {"Please select multiple object."},
       {{"P", ""}}},
      {"an empty selection list: the message", {}, {}, {"Please select multiple object."}, {}},
      {"a refused pair does not stop the others: Q cannot hang from its own child",
       {"R", "Q", "P"},
       {"SelectItem {Q}", "ParentItem {R}", "SelectItem {P}", "ParentItem {R}"},
       {},
       {{"Q", ""}, {"P", "R"}, {"R", "Q"}}},
      {"a bone cannot leave its skeleton; the light still moves",
       {"P", "Root", "Lamp"},
       {"SelectItem {Root}", "ParentItem {P}", "SelectItem {Lamp}", "ParentItem {P}"},
       {},
       {{"Root", "Rig"}, {"Lamp", "P"}}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kScene);
    harness.select(c.selection);
    const standin::RunRecord record = harness.run("QuickParent");
    EXPECT_EQ(record.result, 0) << c.what;
    EXPECT_EQ(record.commandTexts(), harness.expand(c.commands)) << c.what;
    std::vector<std::string> messages;
    for (const auto& message : record.messages) {
      EXPECT_EQ(message.kind, "info");
      EXPECT_TRUE(message.text2.empty());
      messages.push_back(message.text);
    }
    EXPECT_EQ(messages, c.messages) << c.what;
    for (const auto& expected : c.parents) {
      const standin::ItemId parent = harness.scene().parentOf(harness.id(expected.first));
      const standin::ItemId want = expected.second.empty() ? 0 : harness.id(expected.second);
      EXPECT_EQ(parent, want) << c.what << ": parent of " << expected.first;
    }
    // The last child handled is the one item left selected.
    if (c.selection.size() >= 2) {
      EXPECT_EQ(harness.scene().selection(),
                std::vector<standin::ItemId>{harness.id(c.selection.back())})
          << c.what;
    }
  }
}

TEST(QuickParent, ANullSelectionListEndsSilently) {
  ToolHarness harness(kScene);
  harness.select({"P", "Q"});
  harness.standIn().nullSelection = true;
  const standin::RunRecord record = harness.run("QuickParent");
  EXPECT_EQ(record.result, 0);
  EXPECT_TRUE(record.commands.empty());
  EXPECT_TRUE(record.messages.empty());
}

TEST(QuickParent, ItemsKeepTheirWorldPlacementWithParentInPlace) {
  for (bool inPlace : {true, false}) {
    ToolHarness harness(kScene);
    harness.scene().parentInPlace = inPlace;
    const standin::Vec3 before = harness.scene().worldOrigin(harness.id("Lamp"));
    harness.select({"Q", "Lamp"});
    harness.run("QuickParent");
    const standin::Vec3 after = harness.scene().worldOrigin(harness.id("Lamp"));
    for (int axis = 0; axis < 3; ++axis) {
      if (inPlace) {
        EXPECT_NEAR(after[axis], before[axis], 1e-9) << "axis " << axis;
      }
    }
    if (!inPlace) {
      // The stored offset is kept, so the light jumps with its new parent's placement.
      EXPECT_GT(std::abs(after[1] - before[1]) + std::abs(after[0] - before[0]), 0.5);
    }
  }
}

}  // namespace
