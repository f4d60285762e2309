#include "runner/cli/usage.h"

namespace runner::cli {

const char* const kUsage =
    "vorrik: run Vorrik's Layout tools on a rig through the built-in Layout stand-in\n"
    "\n"
    "usage:\n"
    "  vorrik play SCRIPT [--svg FILE] [--check] [--dry-run] [--json] [--module PATH]\n"
    "             [--content DIR]\n"
    "  vorrik run TOOL [--scene FILE] [--select A,B] [--time T] [ANSWERS] [--out FILE]\n"
    "             [--svg FILE] [--check] [--dry-run] [--json] [--module PATH] [--content DIR]\n"
    "  vorrik demo [--out DIR] [--dry-run] [--module PATH]\n"
    "  vorrik COMMAND --help\n"
    "\n"
    "Tools: BoneUtil BoneSplit BoneMerge BoneUnParent QuickParent CutKey CopyKey PasteKey\n"
    "       BoneSubdivide PasteKeyMirror\n"
    "After every run the rig check lists the bones added and removed, the items re-parented,\n"
    "and the items that moved in the world or whose rest values changed.\n"
    "Exit status: 0 done, 1 the module could not be loaded, 2 bad input,\n"
    "3 --check found an item or a mesh point that moved at a time looked at, a weight map\n"
    "that no active bone uses any more, or a saved file that does not hold the scene.\n";

// Options shared by play and run.
const char* const kCommonOptions =
    "  --svg FILE     write a picture of the rig at the end (front, side and top views;\n"
    "                 after a run: before and after side by side, changes in colour)\n"
    "  --check        exit with status 3, writing nothing, when a run moved an item in the\n"
    "                 world that it did not add or remove, or a point of a loaded mesh, or\n"
    "                 left a weight map that some active bone used with no active bone\n"
    "  --dry-run      run and print everything, but write no file\n"
    "  --json         print one JSON document instead of the report\n"
    "  --module PATH  the module to load (default: Vorrik.p beside this program)\n"
    "  --auto-key-create off|modified|all\n"
    "                 Layout's Auto Key Create option for every scene loaded (default: the\n"
    "                 scene's own, off unless it says): off keys a change only where a key\n"
    "                 exists at the current time; modified keys each changed channel there;\n"
    "                 all keys every channel of a changed item there\n"
    "  --content DIR  look for the object files a scene names in DIR first (Layout's\n"
    "                 content folder), then beside the scene and in the scene's parent folder\n"
    "  --let-references-switch\n"
    "                 save a version 3 scene even where a plug-in names a removed item whose\n"
    "                 number passes to the next item, which the plug-in would then follow\n"
    "                 (refused otherwise); the report and --check say which item it names\n"
    "The rig check counts a move or a rest change only above 1e-5 of the rig's size (the\n"
    "diagonal of the box around every item's origin and bone tip before the run). It looks\n"
    "at the current time, every key time and halfway between neighbouring key times (at most\n"
    "256 times, spread evenly). Each saved file is read back and compared with the scene at\n"
    "the same times; --check also fails on a difference, a dangling plug-in item id, a\n"
    "removed item's IK, controller, limit or plug-in lines going with it, or a name in\n"
    "plug-in data left naming no item.\n";

const std::string kPlayUsage =
    std::string(
        "usage: vorrik play SCRIPT [--svg FILE] [--check] [--dry-run] [--json] [--module PATH]\n"
        "                          [--content DIR]\n"
        "\n"
        "Runs a script, one step per line ('#' starts a comment):\n"
        "  load FILE          a scene file (.lws, or JSON)\n"
        "  demo               the built-in demo rig\n"
        "  time T             the current time, in seconds\n"
        "  select NAME...     items in selection order; no names clears the selection\n"
        "  run TOOL [ANSWERS] runs Vorrik:TOOL\n"
        "  save FILE          writes the scene\n"
        "  draw FILE          writes a picture of the rig (SVG); right after a run, before and\n"
        "                     after it side by side\n"
        "Files are written only once every step has succeeded.\n"
        "Answers: cancel (press Cancel; OK otherwise), percent=V (BoneSplit),\n"
        "  item=NAME and action=N|TEXT (BoneUtil), action=Unparent|Recover (BoneUnParent),\n"
        "  axis=x|y|z (PasteKeyMirror's mirror axis; else the last one chosen, x at first),\n"
        "  count=N (BoneSubdivide's number of bones, 2 to 100; else the last one chosen, 2 at\n"
        "  first).\n"
        "All steps share one loaded module: the key clipboard and the unparent record carry\n"
        "from one run to the next.\n") +
    kCommonOptions;

const std::string kRunUsage =
    std::string(
        "usage: vorrik run TOOL [--scene FILE] [--select A,B] [--time T] [ANSWERS] [--out FILE]\n"
        "                  [--svg FILE] [--check] [--dry-run] [--json] [--module PATH]\n"
        "                  [--content DIR]\n"
        "\n"
        "Runs one tool on a scene (the built-in demo rig unless --scene names a file).\n"
        "  --select A,B   items to select, in order, by name\n"
        "  --time T       the current time, in seconds\n"
        "  --out FILE     write the resulting scene\n") +
    kCommonOptions +
    "Answers as for 'play': cancel, percent=V, item=NAME, action=N|TEXT, axis=x|y|z,\n"
    "count=N.\n";

const char* const kDefaultDemoFolder = "vorrik-demo";

const std::string kDemoUsage =
    std::string(
        "usage: vorrik demo [--out DIR] [--dry-run] [--module PATH]\n"
        "\n"
        "A short tour of every working tool on the built-in demo rig: split a forearm, merge a\n"
        "finger pair, unparent and recover a hand's children, record and restore the rest pose,\n"
        "quick-parent the props, copy a pose and paste it at another time, then mirrored onto\n"
        "the other arm, and subdivide the spine into three. Prints each run's commands and rig\n"
        "check and draws a picture (SVG) of each run that changes the rig.\n"
        "  --out DIR      the folder for the pictures (default: ") +
    kDefaultDemoFolder +
    " in the current\n"
    "                 folder); made when missing\n"
    "  --dry-run      run and print everything, but write no file\n"
    "  --module PATH  the module to load (default: Vorrik.p beside this program)\n";

}  // namespace runner::cli
