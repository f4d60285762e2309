// The runner on hostile input: one line on standard error, status 2, and no file written;
// and when it writes, every file or none.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/file_text.h"
#include "support/runner_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

using runner_process::Outcome;

using testing_support::readFile;

// The runner runs in the folder "run", so that scripts can name files plainly and the folder
// holds only what the tests and the scripts put there.
class RunnerFiles : public testing_support::FolderTest {
protected:
  RunnerFiles() { fs::create_directories(folder_ / "run"); }

  void put(const std::string& name, const std::string& text) const { write("run/" + name, text); }
  std::vector<std::string> listing() const { return FolderTest::listing("run"); }
  Outcome vorrik(const std::string& arguments) const {
    return runner_process::run(arguments, folder_, folder_ / "run");
  }
};

// Bad input of every kind: one line on standard error, status 2, nothing written.
TEST_F(RunnerFiles, FailedRunsWriteNothing) {
  put("arm.lws", readFile(fs::path(VORRIK_EXAMPLES_DIR) / "arm.lws"));
  put("locked.json", "locked");
  fs::permissions(folder_ / "run" / "locked.json", fs::perms::owner_read);
  fs::create_directories(folder_ / "run" / "taken.svg");
  struct Case {
    const char* what;
    std::string script;
    std::string error;
  };
  const Case cases[] = {
      {"a later save fails", "demo\nsave first.json\nsave nodir/x.json\n",
       "vorrik: cannot write nodir/x.json: the folder nodir does not exist\n"},
      {"a picture over a folder", "demo\nsave first.json\ndraw taken.svg\n",
       "vorrik: cannot write taken.svg: it is a directory\n"},
      {"the script itself", "demo\nsave first.json\nsave script.vrk\n",
       "vorrik: cannot write script.vrk: it is the script being run\n"},
      {"a read-only file", "demo\nsave first.json\nsave locked.json\n",
       "vorrik: cannot write locked.json: the file is read-only\n"},
      {"a device", "load /dev/zero\nsave first.json\n",
       "vorrik: line 1: cannot read /dev/zero: it is a device, not a file\n"},
      {"a choice past the list",
       "demo\nrun BoneUtil item=Hero action=2147483647\nsave first.json\n",
       "vorrik: line 2: action=2147483647 is not one of the 4 choices (0 to 3:"},
      {"a negative choice", "demo\nrun BoneUtil item=Hero action=-1\nsave first.json\n",
       "vorrik: line 2: action=-1 is not one of the 4 choices"},
      {"control bytes in a name", std::string("demo\nselect A\x01\x1b[2J\nsave first.json\n"),
       "vorrik: line 2: no item named \"A\\x01\\x1B[2J\"\n"},
      {"a time that is no time", "load big.lws\nsave first.json\n",
       "big.lws:10: CurrentFrame 1e+10"},
      {"a time .lws cannot hold", "load huge.json\nsave first.json\nsave x.lws\n",
       "too far from 0 to be a frame"},
  };
  std::string big = readFile(fs::path(VORRIK_EXAMPLES_DIR) / "arm.lws");
  big.replace(big.find("CurrentFrame 0"), 14, "CurrentFrame 1e10");
  big.replace(big.find("FramesPerSecond 30"), 18, "FramesPerSecond 1e-308");
  put("big.lws", big);
  put("huge.json", R"({"time": 1e18, "items": []})");
  for (const Case& c : cases) {
    put("script.vrk", c.script);
    const std::vector<std::string> before = listing();
    const Outcome outcome = vorrik("play script.vrk");
    EXPECT_EQ(outcome.status, 2) << c.what << ": " << outcome.err;
    EXPECT_THAT(outcome.err, HasSubstr(c.error)) << c.what;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << c.what;
    EXPECT_EQ(listing(), before) << c.what;
    EXPECT_EQ(readFile(folder_ / "run" / "script.vrk"), c.script) << c.what;
    EXPECT_EQ(readFile(folder_ / "run" / "locked.json"), "locked") << c.what;
  }
}

TEST_F(RunnerFiles, APlantedTemporaryLinkIsNotFollowed) {
  put("victim.txt", "precious");
  fs::create_symlink(folder_ / "run" / "victim.txt", folder_ / "run" / "out.json.vorrik-tmp");
  const Outcome outcome = vorrik("run CopyKey --select Hero --out out.json");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(readFile(folder_ / "run" / "victim.txt"), "precious");
  EXPECT_FALSE(fs::is_symlink(folder_ / "run" / "out.json"));
  EXPECT_THAT(readFile(folder_ / "run" / "out.json"), HasSubstr("\"Hero\""));

  // A target that is itself a link is refused, and what it names is left alone.
  fs::create_symlink(folder_ / "run" / "victim.txt", folder_ / "run" / "linked.json");
  const Outcome linked = vorrik("run CopyKey --select Hero --out linked.json");
  EXPECT_EQ(linked.status, 2);
  EXPECT_EQ(linked.err,
            "vorrik: cannot write linked.json: it is a symbolic link (write to the "
            "file it names instead)\n");
  EXPECT_EQ(readFile(folder_ / "run" / "victim.txt"), "precious");
}

TEST_F(RunnerFiles, Latin1NamesRoundTripThroughTheRunner) {
  std::string arm = readFile(fs::path(VORRIK_EXAMPLES_DIR) / "arm.lws");
  arm.replace(arm.find("BoneName Shoulder"), 17, "BoneName Schulter\xe4");
  arm.replace(arm.find("BoneName Arm"), 12, "BoneName Schulter\xf6");
  put("old.lws", arm);
  put("script.vrk", "load old.lws\nsave same.lws\nsave old.json\n");
  const Outcome outcome = vorrik("play script.vrk");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  put("again.vrk", "load old.json\nsave again.json\nsave again.lws\n");
  const Outcome again = vorrik("play again.vrk");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readFile(folder_ / "run" / "same.lws"), arm);
  EXPECT_EQ(readFile(folder_ / "run" / "again.json"), readFile(folder_ / "run" / "old.json"));
  EXPECT_THAT(readFile(folder_ / "run" / "again.lws"), HasSubstr("BoneName Schulter\xf6\n"));
  EXPECT_THAT(readFile(folder_ / "run" / "old.json"), Not(HasSubstr("\xef\xbf\xbd")));  // no U+FFFD
}

}  // namespace
