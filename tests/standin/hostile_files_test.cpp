// Hostile and unusual files: writes that are all or nothing, targets that are refused,
// numbers out of range, names that are not UTF-8, line endings, and loads that stay linear.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "standin/files/base/file_batch.h"
#include "standin/files/base/name_bytes.h"
#include "standin/files/json/json_strict.h"
#include "standin/files/json/scene_json.h"
#include "standin/files/lws/lws_reader.h"
#include "standin/files/lws/lws_writer.h"
#include "standin/files/lws/unique_names.h"
#include "support/file_text.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using standin::FileBatch;
using standin::FileWriteError;
using standin::Scene;
using standin::SceneFileError;
using ::testing::HasSubstr;

using testing_support::readFile;

std::string armLws() { return readFile(fs::path(VORRIK_EXAMPLES_DIR) / "arm.lws"); }

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("no \"" + from + "\" in the text");
  return text.replace(at, from.size(), to);
}

// --- all-or-nothing writes ---

using FileBatchTest = testing_support::FolderTest;

TEST_F(FileBatchTest, RefusedTargetsLeaveEveryFileAsItWas) {
  write("victim.txt", "precious");
  write("old.json", "old");
  write("script.vrk", "demo\n");
  write("locked.json", "locked");
  fs::permissions(folder_ / "locked.json", fs::perms::owner_read);
  fs::create_symlink(folder_ / "victim.txt", folder_ / "link.json");
  fs::create_directories(folder_ / "folder.json");

  struct Case {
    const char* target;
    const char* why;
  };
  const Case cases[] = {
      {"link.json", "is a symbolic link"},
      {"folder.json", "is a directory"},
      {"script.vrk", "it is the script being run"},
      {"locked.json", "read-only"},
      {"nodir/x.json", "the folder"},
      {"/dev/null", "not a regular file"},
      {"", "no file name"},
  };
  for (const Case& c : cases) {
    FileBatch batch;
    batch.protect(path("script.vrk"), "it is the script being run");
    batch.add(path("old.json"), "new");  // would succeed alone
    batch.add(path("first.json"), "first");
    const std::string target = c.target[0] == '/' || !*c.target ? c.target : path(c.target);
    batch.add(target, "overwritten");
    try {
      batch.commit();
      ADD_FAILURE() << c.target << " was written";
    } catch (const FileWriteError& e) {
      EXPECT_THAT(e.what(), HasSubstr("cannot write " + target + ": ")) << c.target;
      EXPECT_THAT(e.what(), HasSubstr(c.why)) << c.target;
    }
    EXPECT_EQ(readFile(folder_ / "victim.txt"), "precious") << c.target;
    EXPECT_EQ(readFile(folder_ / "old.json"), "old") << c.target;
    EXPECT_EQ(readFile(folder_ / "script.vrk"), "demo\n") << c.target;
    EXPECT_EQ(readFile(folder_ / "locked.json"), "locked") << c.target;
    EXPECT_TRUE(fs::is_symlink(folder_ / "link.json")) << c.target;
    EXPECT_EQ(listing(), (std::vector<std::string>{"folder.json", "link.json", "locked.json",
                                                   "old.json", "script.vrk", "victim.txt"}))
        << c.target;
  }
}

TEST_F(FileBatchTest, PlantedTemporaryLinksAreNeverFollowed) {
  write("victim.txt", "precious");
  // The names an attacker could guess: the old fixed suffix and a plain one.
  fs::create_symlink(folder_ / "victim.txt", folder_ / "out.json.vorrik-tmp");
  fs::create_symlink(folder_ / "victim.txt", folder_ / "out.json.tmp");
  FileBatch batch;
  batch.add(path("out.json"), "scene");
  batch.commit();
  EXPECT_EQ(readFile(folder_ / "victim.txt"), "precious");
  EXPECT_FALSE(fs::is_symlink(folder_ / "out.json"));
  EXPECT_EQ(readFile(folder_ / "out.json"), "scene");
  EXPECT_EQ(listing().size(), 4u);  // no temporary left
}

TEST_F(FileBatchTest, WritesEveryFileKeepsPermissionsAndTheLastOfARepeatedPath) {
  write("private.json", "old");
  fs::permissions(folder_ / "private.json", fs::perms::owner_read | fs::perms::owner_write);
  FileBatch batch;
  batch.add(path("private.json"), "new");
  batch.add(path("a.svg"), "first");
  batch.add((folder_ / "." / "a.svg").string(), "second");  // the same file, named otherwise
  batch.add(path("empty.json"), "");
  ASSERT_EQ(batch.files().size(), 3u);
  batch.commit();
  EXPECT_EQ(readFile(folder_ / "private.json"), "new");
  EXPECT_EQ(fs::status(folder_ / "private.json").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(readFile(folder_ / "a.svg"), "second");
  EXPECT_EQ(readFile(folder_ / "empty.json"), "");
  EXPECT_EQ(listing(), (std::vector<std::string>{"a.svg", "empty.json", "private.json"}));
}

// A temporary that cannot be made, for any user: the longest name a file may have leaves no
// room for the temporary's longer one.
TEST_F(FileBatchTest, ATemporaryThatCannotBeMadeWritesNothing) {
  const std::string longest(255 - 5, 'n');
  write(longest + ".json", "old");
  FileBatch batch;
  batch.add(path("fine.json"), "fine");
  batch.add(path(longest + ".json"), "new");
  EXPECT_THROW(batch.commit(), FileWriteError);
  EXPECT_EQ(listing(), (std::vector<std::string>{longest + ".json"}));
  EXPECT_EQ(readFile(folder_ / (longest + ".json")), "old");
}

TEST_F(FileBatchTest, AFolderThatCannotTakeTemporariesWritesNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::create_directories(folder_ / "shut");
  write("shut/x.json", "old");
  fs::permissions(folder_ / "shut", fs::perms::owner_read | fs::perms::owner_exec);
  FileBatch batch;
  batch.add(path("fine.json"), "fine");
  batch.add(path("shut/x.json"), "new");
  EXPECT_THROW(batch.commit(), FileWriteError);
  fs::permissions(folder_ / "shut", fs::perms::owner_all);
  EXPECT_EQ(listing(), (std::vector<std::string>{"shut"}));
  EXPECT_EQ(readFile(folder_ / "shut" / "x.json"), "old");
}

// --- numbers that cannot be held ---

TEST(LwsNumbers, OutOfRangeValuesAreRefusedWithTheLine) {
  const std::string arm = armLws();
  struct Case {
    const char* what;
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"a behaviour past an int", replaced(arm, "Behaviors 1 1", "Behaviors 1 5555555555"),
       "arm.lws:21: Behaviors: 5555555555 is not a behaviour"},
      {"a negative behaviour", replaced(arm, "Behaviors 1 1", "Behaviors -1e300 1"),
       "arm.lws:21: Behaviors: -1e+300 is not a behaviour"},
      {"a span type past an int", replaced(arm, "Key 0 0 0 0", "Key 0 0 1e300 0"),
       "arm.lws:20: Key: span type 1e300 is not one of 0 to 5"},
      {"a fractional span type", replaced(arm, "Key 0 0 0 0", "Key 0 0 2.5 0"),
       "arm.lws:20: Key: span type 2.5"},
      {"a time past a double",
       replaced(replaced(arm, "CurrentFrame 0", "CurrentFrame 1e10"), "FramesPerSecond 30",
                "FramesPerSecond 1e-308"),
       "arm.lws:10: CurrentFrame 1e+10 at FramesPerSecond 1e-308 is no time"},
      {"a time below a double",
       replaced(replaced(arm, "CurrentFrame 0", "CurrentFrame 1e-300"), "FramesPerSecond 30",
                "FramesPerSecond 1e300"),
       "arm.lws:10: CurrentFrame 1e-300"},
  };
  for (const Case& c : cases) {
    try {
      standin::sceneFromLws(c.text, "arm.lws");
      ADD_FAILURE() << c.what << ": read";
    } catch (const SceneFileError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.error)) << c.what;
    }
  }
}

TEST(LwsNumbers, TimesAFrameCannotHoldAreRefusedBeforeWriting) {
  struct Case {
    const char* what;
    const char* json;
  };
  const Case cases[] = {
      {"a scene time of 1e18 s", R"({"time": 1e18, "items": [{"name": "A", "type": "object"}]})"},
      {"a negative scene time", R"({"time": -1e300, "items": []})"},
      {"a key time of 1e300 s",
       R"({"items": [{"name": "A", "type": "object", "keys": [{"time": 1e300}]}]})"},
  };
  for (const Case& c : cases) {
    const Scene scene = standin::sceneFromJson(c.json);
    try {
      standin::sceneToLws(scene);
      ADD_FAILURE() << c.what << ": written";
    } catch (const SceneFileError& e) {
      EXPECT_THAT(e.what(), HasSubstr("too far from 0 to be a frame")) << c.what;
    }
  }
  // A time between frames would be rounded without a word: refused as well.
  try {
    standin::sceneToLws(standin::sceneFromJson(R"({"time": 0.01, "items": []})"));
    ADD_FAILURE() << "a time between frames was written";
  } catch (const SceneFileError& e) {
    EXPECT_THAT(e.what(), HasSubstr("the scene time 0.01 s is frame 0.3"));
  }
  // Within range the frame is written as it is.
  const Scene late = standin::sceneFromJson(R"({"time": 1e9, "items": []})");
  EXPECT_THAT(standin::sceneToLws(late), HasSubstr("\nCurrentFrame 30000000000\n"));

  // A read scene whose time a run moved far away is refused as well.
  Scene read = standin::sceneFromLws(armLws(), "arm.lws");
  read.setTime(1e300);
  EXPECT_THROW(standin::sceneToLws(read), SceneFileError);
}

// From version 4 on a bone's id carries its object's number in 16 bits. An object whose own
// id is beyond that has no bone ids to give: a bone added to it is refused before anything
// is written, where an object with a small id takes the next bone id.
TEST(LwsNumbers, NewBonesOfObjectsWhoseIdsNumberNoBonesAreRefused) {
  struct Case {
    const char* objectId;
    const char* expected;  // the new bone's AddBone line, or "" when refused
  };
  const Case cases[] = {
      {"10000002", "AddBone 40000002"},
      {"1000FFFF", "AddBone 4000FFFF"},
      {"10020002", ""},
      {"10010000", ""},
  };
  for (const Case& c : cases) {
    const std::string text = std::string("LWSC\n6\n\nFirstFrame 1\nLastFrame 60\n") +
                             "CurrentFrame 0\nFramesPerSecond 30\n\nLoadObjectLayer 1 " +
                             c.objectId + " Objects/Hero.lwo\nShowObject 6 3\n";
    Scene scene = standin::sceneFromLws(text, "ids.lws");
    const standin::ItemId object = scene.findByName("Hero");
    ASSERT_NE(object, 0u) << c.objectId;
    scene.addBone(object, object, "Spine");
    if (*c.expected) {
      const std::string written = standin::sceneToLws(scene);
      EXPECT_THAT(written, HasSubstr(std::string(c.expected) + "\nBoneName Spine\n")) << c.objectId;
      EXPECT_NE(standin::sceneFromLws(written, "ids.lws").findByName("Spine"), 0u);
      continue;
    }
    try {
      standin::sceneToLws(scene);
      ADD_FAILURE() << c.objectId << ": written";
    } catch (const SceneFileError& e) {
      EXPECT_THAT(e.what(),
                  HasSubstr("the new bone \"Spine\" has no id a version 6 scene can hold"))
          << c.objectId;
    }
  }
}

TEST(LwsNumbers, ATimeSetInAFileWithoutCurrentFrameIsKept) {
  std::string arm = armLws();
  arm = replaced(arm, "CurrentFrame 0\n", "");
  Scene scene = standin::sceneFromLws(arm, "arm.lws");
  EXPECT_EQ(standin::sceneToLws(scene), arm);
  scene.setTime(2);
  const std::string text = standin::sceneToLws(scene);
  EXPECT_EQ(text.substr(0, 24), "LWSC\n3\nCurrentFrame 60\n\n");
  EXPECT_EQ(standin::sceneFromLws(text, "arm.lws").time(), 2);
}

// A bone line that stands in an object's block without a bone before it (a damaged file)
// stays the object's when a bone is added there: read back, it must not become the new
// bone's second name or length.
TEST(LwsDamagedBlocks, StrayBoneLinesStayWithTheirObjectWhenABoneIsAdded) {
  const std::string head =
      "LWSC\n3\n\nFirstFrame 1\nLastFrame 60\nCurrentFrame 0\nFramesPerSecond 30\n\n"
      "LoadObjectLayer 1 Objects/Rig.lwo\nShowObject 6 3\n";
  struct Case {
    const char* what;
    std::string objectTail;  // what follows the object's first lines
  };
  const Case cases[] = {
      {"a bone name after the bone settings", "BoneFalloffType 5\nBoneName Bone\n"},
      {"a rest length after the bone settings",
       "BoneFalloffType 5\nFasterBones 1\n"
       "BoneRestLength 2\nShowBone 1 3\n"},
      {"a bone name between the settings", "BoneFalloffType 5\nBoneName Spare\nFasterBones 1\n"},
      {"settings alone (the usual file)", "BoneFalloffType 5\nFasterBones 1\n"},
  };
  for (const Case& c : cases) {
    Scene scene = standin::sceneFromLws(head + c.objectTail, "damaged.lws");
    const standin::ItemId object = scene.findByName("Rig");
    ASSERT_NE(object, 0u) << c.what;
    const standin::ItemId bone = scene.addBone(object, object, "Added");
    ASSERT_NE(bone, 0u) << c.what;
    scene.find(bone)->restLength = 0.25;
    const std::string written = standin::sceneToLws(scene);
    Scene again;
    ASSERT_NO_THROW(again = standin::sceneFromLws(written, "written.lws")) << c.what << "\n"
                                                                           << written;
    const standin::ItemId readBone = again.findByName("Added");
    ASSERT_NE(readBone, 0u) << c.what;
    EXPECT_EQ(again.find(readBone)->restLength, 0.25) << c.what;
    EXPECT_EQ(standin::sceneToLws(again), written) << c.what;
    // The stray lines are still in the file, before the new bone.
    const std::size_t stray = written.find(c.objectTail);
    EXPECT_NE(stray, std::string::npos) << c.what;
    EXPECT_LT(stray, written.find("AddBone")) << c.what;
  }
}

// --- line endings ---

TEST(LwsLineEndings, EveryLineKeepsItsOwnEnding) {
  const std::string arm = armLws();
  std::vector<std::string> lines;
  std::istringstream in(arm);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  auto join = [&](auto endingOf) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += lines[i] + endingOf(i);
    return text;
  };
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"LF", arm},
      {"CRLF", join([](std::size_t) { return "\r\n"; })},
      {"LF first, then CRLF", join([](std::size_t i) { return i == 0 ? "\n" : "\r\n"; })},
      {"alternating", join([](std::size_t i) { return i % 2 ? "\n" : "\r\n"; })},
      {"CR CR LF", join([](std::size_t) { return "\r\r\n"; })},
      {"no final line end", arm.substr(0, arm.size() - 1)},
      {"a final CR without LF", arm.substr(0, arm.size() - 1) + "\r"},
  };
  for (const Case& c : cases) {
    Scene scene = standin::sceneFromLws(c.text, "arm.lws");
    EXPECT_EQ(standin::sceneToLws(scene), c.text) << c.what;
    // Saving twice changes nothing either: CRs are not lost one by one.
    Scene again = standin::sceneFromLws(standin::sceneToLws(scene), "arm.lws");
    EXPECT_EQ(standin::sceneToLws(again), c.text) << c.what;

    // A line a run rewrites keeps its ending, and so do the lines around it.
    scene.setTime(1);
    const std::string moved = standin::sceneToLws(scene);
    const std::string ending = c.text.substr(
        c.text.find("CurrentFrame 0") + 14,
        c.text.find('\n', c.text.find("CurrentFrame 0")) - c.text.find("CurrentFrame 0") - 13);
    EXPECT_THAT(moved, HasSubstr("CurrentFrame 30" + ending)) << c.what;
    EXPECT_EQ(moved.size(), c.text.size() + 1) << c.what;
  }
}

// --- names that are not UTF-8 ---

TEST(NameBytes, PercentEscapesReadBackToTheSameBytes) {
  struct Case {
    std::string name;
    std::string escaped;
  };
  const Case cases[] = {
      {"Schulter\xe4", "Schulter%E4"},
      {"100%", "100%25"},
      {"\xc3\xa4rmel", "\xc3\xa4rmel"},      // valid UTF-8 stays as it is
      {"\xc3", "%C3"},                       // a sequence cut short
      {"\xed\xa0\x80", "%ED%A0%80"},         // a surrogate
      {"\xc0\xaf", "%C0%AF"},                // an overlong '/'
      {"\xf4\x90\x80\x80", "%F4%90%80%80"},  // past U+10FFFF
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(standin::percentEscapeBytes(c.name), c.escaped);
    std::string back;
    ASSERT_TRUE(standin::percentUnescapeBytes(c.escaped, back));
    EXPECT_EQ(back, c.name);
  }
  std::string out;
  for (const char* bad : {"%", "%4", "%G0", "a%%"}) {
    EXPECT_FALSE(standin::percentUnescapeBytes(bad, out)) << bad;
  }
}

TEST(NameBytes, Latin1NamesSurviveLwsAndJson) {
  std::string arm = armLws();
  arm = replaced(arm, "BoneName Shoulder", "BoneName Schulter\xe4");
  arm = replaced(arm, "BoneName Arm", "BoneName Schulter\xf6");
  const Scene scene = standin::sceneFromLws(arm, "arm.lws");
  EXPECT_NE(scene.findByName("Schulter\xe4"), 0u);
  EXPECT_NE(scene.findByName("Schulter\xf6"), 0u);
  EXPECT_EQ(standin::sceneToLws(scene), arm);

  const std::string json = standin::sceneToJson(scene);
  EXPECT_THAT(json, HasSubstr(R"("name": {"bytes": "Schulter%E4"})"));
  const Scene back = standin::sceneFromJson(json);
  EXPECT_EQ(standin::sceneToJson(back), json);
  const standin::Item* second = back.find(back.findByName("Schulter\xf6"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(back.find(second->parent)->name, "Schulter\xe4");

  // A fresh .lws from the JSON scene writes the bytes as they were.
  EXPECT_THAT(standin::sceneToLws(back), HasSubstr("\nBoneName Schulter\xf6\n"));
}

TEST(NameBytes, BadByteNamesInJsonAreRefused) {
  const char* const cases[] = {
      R"({"items": [{"name": {"bytes": "A%4"}, "type": "object"}]})",
      R"({"items": [{"name": {"bytes": 4}, "type": "object"}]})",
      R"({"items": [{"name": {"bytes": "A", "more": 1}, "type": "object"}]})",
  };
  for (const char* json : cases) {
    try {
      standin::sceneFromJson(json);
      ADD_FAILURE() << json;
    } catch (const SceneFileError& e) {
      EXPECT_THAT(e.what(), HasSubstr("\"name\" must be a string")) << json;
    }
  }
}

TEST(NameBytes, MessagesShowControlBytesEscaped) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"plain \xc3\xa4", "plain \xc3\xa4"},
      {std::string("nul\0here", 8), "nul\\x00here"},
      {"tab\tline\nreturn\r", "tab\\tline\\nreturn\\r"},
      {"\x1b[31mred", "\\x1B[31mred"},
      {"latin \xe4", "latin \\xE4"},
      {"csi \xc2\x9b", "csi \\xC2\\x9B"},
      {"del \x7f", "del \\x7F"},
  };
  for (const Case& c : cases) EXPECT_EQ(standin::printable(c.text), c.shown);
}

// --- linear loads ---

TEST(LinearLoads, RepeatedNamesTakeLinearProbes) {
  struct Case {
    std::vector<std::string> names;
    std::vector<std::string> unique;
  };
  const Case cases[] = {
      {{"Bone", "Bone", "Bone"}, {"Bone", "Bone (2)", "Bone (3)"}},
      {{"Bone", "Bone (2)", "Bone"}, {"Bone", "Bone (2)", "Bone (3)"}},
      {{"Bone", "Bone", "Bone (2)"}, {"Bone", "Bone (2)", "Bone (2) (2)"}},
      {{"A", "B", "A", "B"}, {"A", "B", "A (2)", "B (2)"}},
  };
  for (const Case& c : cases) {
    standin::UniqueNames names;
    std::vector<std::string> got;
    for (const std::string& name : c.names) got.push_back(names.add(name));
    EXPECT_EQ(got, c.unique);
  }
  standin::UniqueNames many;
  constexpr std::size_t kCount = 20000;
  for (std::size_t i = 0; i < kCount; ++i) many.add("Bone");
  EXPECT_LE(many.probes(), 2 * kCount);
}

TEST(LinearLoads, SameNamedBonesInALwsLoad) {
  std::string text = "LWSC\n3\n\nLoadObjectLayer 1 Rig.lwo\n";
  constexpr int kBones = 4000;  // version 3 numbers 4096 bones per object
  for (int i = 0; i < kBones; ++i) text += "AddBone\nBoneName Bone\n";
  const Scene scene = standin::sceneFromLws(text, "same.lws");
  EXPECT_EQ(scene.itemCount(), kBones + 1u);
  EXPECT_NE(scene.findByName("Bone (4000)"), 0u);
  EXPECT_EQ(standin::sceneToLws(scene), text);
}

TEST(LinearLoads, JsonValuesAreMadeOncePerValue) {
  for (int count : {10, 1000, 100000}) {
    std::string text = R"({"items": [)";
    for (int i = 0; i < count; ++i) {
      text += (i ? "," : "") + std::string(R"({"name": "N)") + std::to_string(i) +
              R"(", "type": "object"})";
    }
    text += "]}";
    const nlohmann::json value = standin::parseStrictJson(text);
    EXPECT_EQ(value["items"].size(), static_cast<std::size_t>(count));
    // The root, the array, and per item the object and its two strings.
    EXPECT_EQ(standin::strictJsonValuesMade(), 2 + 3 * static_cast<std::size_t>(count));
  }
}

TEST(LinearLoads, StrictJsonKeepsItsChecks) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {R"({"a": 1, "a": 2})", "invalid JSON: field \"a\" appears twice"},
      {R"({"a": {"b": 1, "b": 1}})", "invalid JSON: field \"b\" appears twice"},
      {"{\n  \"a\": [1,\n  2,]\n}",
       "invalid JSON: parse error at line 3, column 5: syntax error while parsing value"},
      {"{\n  \"a\": tru,\n}", "invalid JSON: parse error at line 2, column 11"},
      {"[1] [2]", "invalid JSON:"},
      {"{\"a\": 1e400}", "invalid JSON:"},
  };
  for (const Case& c : cases) {
    try {
      standin::parseStrictJson(c.text);
      ADD_FAILURE() << c.text;
    } catch (const SceneFileError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.error)) << c.text;
    }
  }
  // The same value as nlohmann's own parser gives, nesting and all.
  const char* const fine[] = {R"({"a": [1, -2, 3.5, "x", null, true, {"b": []}], "c": {}})",
                              "[[[[[]]]]]", "\"text\"", "17"};
  for (const char* text : fine) {
    EXPECT_EQ(standin::parseStrictJson(text), nlohmann::json::parse(text)) << text;
  }
}

}  // namespace

// Weight map names and object file paths are bytes too: Latin-1 ones go through JSON and
// back to the same .lws lines.
TEST(NameBytes, Latin1MapNamesAndObjectPathsSurviveJson) {
  std::string arm = armLws();
  arm = replaced(arm, "AddNullObject Arm Rig", "LoadObjectLayer 1 Objects/K\xf6rper.lwo");
  arm = replaced(arm, "BoneRestLength 0.6\n",
                 "BoneRestLength 0.6\nBoneWeightMapName Oberarm\xe4\nBoneWeightMapOnly 1\n"
                 "BoneNormalization 1\n");
  const Scene scene = standin::sceneFromLws(arm, "arm.lws");
  const std::string json = standin::sceneToJson(scene);
  EXPECT_THAT(json, HasSubstr(R"({"bytes": "Oberarm%E4"})"));
  EXPECT_THAT(json, HasSubstr(R"({"bytes": "Objects/K%F6rper.lwo"})"));
  const Scene back = standin::sceneFromJson(json);
  EXPECT_EQ(standin::sceneToJson(back), json);
  const std::string lws = standin::sceneToLws(back);
  EXPECT_THAT(lws, HasSubstr("\nBoneWeightMapName Oberarm\xe4\n"));
  EXPECT_THAT(lws, HasSubstr("Objects/K\xf6rper.lwo\n"));
}

// Scenes count an object file's layers from 1, in .lws as in JSON.
TEST(ObjectLayers, LayerZeroIsNoLayerNumber) {
  const std::string arm =
      replaced(armLws(), "AddNullObject Arm Rig", "LoadObjectLayer 0 Objects/Body.lwo");
  try {
    standin::sceneFromLws(arm, "arm.lws");
    FAIL() << "layer 0 was read";
  } catch (const standin::SceneFileError& error) {
    EXPECT_THAT(error.what(), HasSubstr("LoadObjectLayer layer 0 is not a layer number"));
  }
}
