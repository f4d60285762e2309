#include "runner/script/demo.h"

#include <filesystem>

#include "runner/checks/rig_check.h"
#include "runner/report/rig_check_report.h"
#include "runner/report/run_report.h"

namespace runner {

const std::vector<DemoStage>& demoTour() {
  static const std::vector<DemoStage> tour = {
      {"Split L_Forearm at 30 percent",
       "demo\nselect L_Forearm\nrun BoneSplit percent=30\ndraw 1-split.svg\n"},
      {"Merge L_Finger with its child L_FingerTip",
       "demo\nselect L_Finger L_FingerTip\nrun BoneMerge\ndraw 2-merge.svg\n"},
      {"Unparent L_Hand's child bones, then recover them",
       "demo\nselect L_Hand\nrun BoneUnParent action=Unparent\ndraw 3-unparent.svg\n"
       "run BoneUnParent action=Recover\ndraw 3-recover.svg\n",
       true},
      {"Record the pose at time 1 as Hero's rest pose, then restore it at time 0",
       "demo\ntime 1\nrun BoneUtil item=Hero action=\"Record rest\"\ndraw 4-record-rest.svg\n"
       "time 0\nrun BoneUtil item=Hero action=\"Restore rest\"\ndraw 4-restore-rest.svg\n"},
      {"Quick-parent the props: Sword and Shield under Hero",
       "demo\nselect Hero Sword Shield\nrun QuickParent\ndraw 5-quick-parent.svg\n"},
      {"Copy L_UpperArm's pose at time 0 and paste it at time 1",
       "demo\nselect L_UpperArm\nrun CopyKey\ntime 1\nrun PasteKey\ndraw 6-paste-key.svg\n"},
      {"Paste L_UpperArm's pose at time 1 mirrored onto R_UpperArm at time 0",
       "demo\ntime 1\nselect L_UpperArm\nrun CopyKey\ntime 0\nrun PasteKeyMirror axis=x\n"
       "draw 7-paste-key-mirror.svg\n"},
      {"Subdivide Spine into three equal bones",
       "demo\nselect Spine\nrun BoneSubdivide count=3\ndraw 8-subdivide.svg\n"},
  };
  return tour;
}

void runDemo(ScriptRunner& runner, std::ostream& out, const std::string& folder) {
  int number = 0;
  for (const DemoStage& stage : demoTour()) {
    ++number;
    const std::string heading = std::to_string(number) + ". " + stage.title;
    std::vector<Step> steps = parseScript(stage.script);
    std::vector<std::string> pictures;
    for (Step& step : steps) {
      step.line = 0;  // the tour's own lines mean nothing to the reader
      if (step.kind == Step::Kind::Draw) {
        pictures.push_back(step.path);
        step.title = heading;
        step.path = (std::filesystem::path(folder) / step.path).string();
      }
    }
    const std::size_t firstRun = runner.runs().size();
    runner.runSteps(steps);

    out << (number > 1 ? "\n" : "") << "== " << heading;
    if (!pictures.empty()) {
      out << "  (";
      for (std::size_t i = 0; i < pictures.size(); ++i) out << (i ? ", " : "") << pictures[i];
      out << ")";
    }
    out << "\n";
    const std::vector<RunOutcome>& runs = runner.runs();
    for (std::size_t i = firstRun; i < runs.size(); ++i) printRun(out, runs[i], runner.scene());
    if (stage.roundTrip && runs.size() > firstRun) {
      out << "round trip, from before the first run to after the last:\n";
      printChanges(out, compareRigs(runs[firstRun].before, runs.back().after));
    }
  }
}

}  // namespace runner
