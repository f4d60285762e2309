// The module as Layout sees it: loaded from its file, its descriptor, its server table, the
// activation contract and the state that lives as long as the loaded module.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/files/json/scene_json.h"
#include "standin/layout/module_loader.h"
#include "standin/layout/stand_in.h"
#include "support/tool_harness.h"

namespace {

using standin::RunRecord;
using testing_support::ToolHarness;

const std::vector<std::string> kServers = {
    "Vorrik:BoneUtil",      "Vorrik:BoneSplit",     "Vorrik:BoneMerge", "Vorrik:BoneUnParent",
    "Vorrik:QuickParent",   "Vorrik:CutKey",        "Vorrik:CopyKey",   "Vorrik:PasteKey",
    "Vorrik:BoneSubdivide", "Vorrik:PasteKeyMirror"};

const std::vector<std::string> kCommonServices = {
    "LW Item Info 3",      "LW Light Info 3", "LW Object Info 4",
    "LW Bone Info 3",      "LW Scene Info 3", "LW Camera Info 2",
    "Surface Functions 2", "Scene Objects 4", "LW Interface Info 3"};

const char* const kTwoNulls = R"({"items": [
  {"name": "P", "type": "object"},
  {"name": "Q", "type": "object", "position": [1, 2, 3], "rotation": [90, 0, 0]}
]})";

std::vector<std::string> lookupNames(const RunRecord& record) {
  std::vector<std::string> names;
  for (const auto& lookup : record.lookups) names.push_back(lookup.name);
  return names;
}

TEST(ModuleFile, DescriptorAndServerTableAreWhatLayoutReads) {
  std::string error;
  auto library = standin::LoadedModule::open(testing_support::modulePath(), &error);
  ASSERT_TRUE(library) << error;
  const ModuleDescriptor* descriptor = library->descriptor();
  EXPECT_EQ(descriptor->sysSync, 0x04121994UL);
  EXPECT_EQ(descriptor->sysVersion, 3UL);
  EXPECT_EQ(descriptor->sysMachine, 0x300UL);
  ASSERT_NE(descriptor->startup, nullptr);
  void* started = descriptor->startup();
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(started), 4u);
  ASSERT_NE(descriptor->shutdown, nullptr);
  descriptor->shutdown(started);

  std::vector<std::string> names;
  const ServerRecord* row = descriptor->serverDefs;
  for (; row->className != nullptr; ++row) {
    EXPECT_STREQ(row->className, "LayoutGeneric");
    EXPECT_NE(row->activate, nullptr);
    EXPECT_EQ(row->tagInfo, nullptr);
    names.push_back(row->name);
  }
  EXPECT_EQ(names, kServers);
  // The closing row is null in all four fields.
  EXPECT_EQ(row->name, nullptr);
  EXPECT_EQ(row->activate, nullptr);
  EXPECT_EQ(row->tagInfo, nullptr);
}

TEST(ModuleFile, TheStandInRefusesAFileThatIsNoModule) {
  standin::StandIn standIn;
  EXPECT_THROW(standIn.loadModule("/nonexistent/Vorrik.p"), standin::StandInError);
  EXPECT_FALSE(standIn.moduleLoaded());
}

TEST(Activation, AnyVersionButOneIsRefusedBeforeAnythingIsLookedUp) {
  for (long version : {0L, 2L, 3L, -1L}) {
    for (const std::string& server : kServers) {
      ToolHarness harness(kTwoNulls);
      harness.standIn().stepDownVersions = false;
      harness.select({"P", "Q"});
      const RunRecord record = harness.standIn().activate(server, {}, version);
      EXPECT_EQ(record.result, 1) << server << " version " << version;
      EXPECT_TRUE(record.lookups.empty()) << server;
      EXPECT_TRUE(record.commands.empty()) << server;
      EXPECT_TRUE(record.messages.empty()) << server;
    }
  }
}

TEST(Activation, LayoutSteppingDownFromANewerVersionReachesVersionOne) {
  ToolHarness harness(kTwoNulls);
  harness.select({"P", "Q"});
  const RunRecord record = harness.standIn().activate("Vorrik:QuickParent", {}, 3);
  EXPECT_EQ(record.result, 0);
  EXPECT_EQ(record.commands.size(), 2u);
}

TEST(Activation, ServicesAreLookedUpInTheirOrderEachTimeTransiently) {
  struct Case {
    std::string tool;
    std::vector<std::string> extra;
  };
  const Case cases[] = {
      {"QuickParent", {"Info Messages 2"}},
      // The tools that keep keys ask for the newest channel and envelope services first.
      {"BoneSplit",
       {"Channel Info 3", "Animation Envelopes 4", "Info Messages 2", "LWPanelServices"}},
      {"BoneMerge", {"Channel Info 3", "Animation Envelopes 4", "Info Messages 2"}},
      {"CopyKey", {}},
      {"CutKey", {}},
      {"PasteKey", {}},
      {"BoneSubdivide",
       {"Channel Info 3", "Animation Envelopes 4", "Info Messages 2", "LWPanelServices"}},
      {"PasteKeyMirror", {"Info Messages 2", "LWPanelServices"}},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kTwoNulls);
    harness.select({"P"});
    for (int repeat = 0; repeat < 2; ++repeat) {
      const RunRecord record = harness.run(c.tool);
      std::vector<std::string> expected = kCommonServices;
      expected.insert(expected.end(), c.extra.begin(), c.extra.end());
      EXPECT_EQ(lookupNames(record), expected) << c.tool;
      for (const auto& lookup : record.lookups) EXPECT_EQ(lookup.mode, 0) << lookup.name;
      EXPECT_EQ(record.result, 0);
    }
  }
}

TEST(Activation, AWithheldServiceEndsTheRunWithResultZeroAndNothingSent) {
  struct Case {
    std::string tool;
    std::string withheld;
  };
  const Case cases[] = {
      {"QuickParent", "Info Messages 2"},    {"QuickParent", "LW Interface Info 3"},
      {"CutKey", "LW Item Info 3"},          {"CutKey", "LW Interface Info 3"},
      {"CopyKey", "LW Item Info 3"},         {"PasteKey", "LW Interface Info 3"},
      {"PasteKeyMirror", "LWPanelServices"}, {"BoneSubdivide", "LWPanelServices"},
      {"BoneSubdivide", "LW Bone Info 3"},
  };
  for (const Case& c : cases) {
    ToolHarness harness(kTwoNulls);
    harness.select({"P", "Q"});
    harness.run("CopyKey");  // something to paste
    harness.standIn().withhold(c.withheld);
    const RunRecord record = harness.run(c.tool);
    EXPECT_EQ(record.result, 0) << c.tool << " without " << c.withheld;
    EXPECT_TRUE(record.commands.empty()) << c.tool << " without " << c.withheld;
    EXPECT_TRUE(record.messages.empty()) << c.tool << " without " << c.withheld;
  }
}

TEST(Activation, ServicesLookedUpButNeverUsedMayBeMissing) {
  ToolHarness harness(kTwoNulls);
  for (const char* unused : {"LW Light Info 3", "LW Object Info 4", "LW Scene Info 3",
                             "LW Camera Info 2", "Surface Functions 2", "Scene Objects 4"}) {
    harness.standIn().withhold(unused);
  }
  harness.select({"P", "Q"});
  EXPECT_EQ(harness.run("QuickParent").commands.size(), 2u);
}

TEST(Activation, ToolsNotBuiltYetAnswerZeroAndSendNothing) {
  for (const char* tool : std::vector<const char*>{}) {
    ToolHarness harness(kTwoNulls);
    harness.select({"P"});
    const RunRecord record = harness.run(tool);
    EXPECT_EQ(record.result, 0) << tool;
    EXPECT_TRUE(record.commands.empty()) << tool;
    EXPECT_TRUE(record.dialogs.empty()) << tool;
  }
}

TEST(Activation, ABrokenHostTableEndsTheRunCleanly) {
  // A null member where the tool needs one, and a host call that throws.
  ToolHarness harness(kTwoNulls);
  harness.select({"P", "Q"});
  harness.standIn().itemInfoTable().param = nullptr;
  RunRecord record = harness.run("CopyKey");
  EXPECT_EQ(record.result, 0);
  record = harness.run("PasteKey");  // nothing was captured
  EXPECT_TRUE(record.commands.empty());

  ToolHarness throwing(kTwoNulls);
  throwing.select({"P", "Q"});
  throwing.standIn().itemInfoTable().param = [](LWItemID, LWItemParam, LWTime, LWDVector) {
    throw std::runtime_error("host failure");
  };
  record = throwing.run("CutKey");
  EXPECT_EQ(record.result, 0);
  EXPECT_TRUE(record.commands.empty());

  ToolHarness noEvaluate(kTwoNulls);
  noEvaluate.select({"P", "Q"});
  noEvaluate.standIn().nullSelection = false;
  // A local record without evaluate: nothing can be sent, so nothing is attempted.
  // (The stand-in's own record always has one; the module is called directly here.)
  LWLayoutGeneric local{};
  const ServerRecord* quickParent = &noEvaluate.standIn().descriptor()->serverDefs[4];
  EXPECT_EQ(quickParent->activate(1, nullptr, &local, nullptr), 0);
  EXPECT_EQ(quickParent->activate(1, nullptr, nullptr, nullptr), 0);
}

TEST(ModuleState, TheClipboardLivesExactlyAsLongAsTheLoadedModule) {
  standin::StandIn standIn(standin::sceneFromJson(kTwoNulls));
  standIn.loadModule(testing_support::modulePath());
  standIn.scene().select(standIn.scene().findByName("Q"));
  standIn.activate("Vorrik:CopyKey");
  standIn.scene().select(standIn.scene().findByName("P"));
  EXPECT_EQ(standIn.activate("Vorrik:PasteKey").commands.size(), 6u);

  // Unloading destroys the clipboard; a fresh load starts empty.
  standIn.loadModule(testing_support::modulePath());
  EXPECT_TRUE(standIn.activate("Vorrik:PasteKey").commands.empty());
}

}  // namespace
