// vorrik: runs Vorrik's Layout tools on a rig through the built-in Layout stand-in.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "runner/cli/commands.h"
#include "runner/cli/options.h"
#include "runner/cli/usage.h"
#include "runner/script/script_runner.h"

int main(int argc, char** argv) {
  using namespace runner::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsage;
    return kExitBadInput;
  }
  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (isHelp(command)) {
      std::cout << kUsage;
      return 0;
    }
    if (command == "play") return play(rest);
    if (command == "run") return runOne(rest);
    if (command == "demo") return demo(rest);
    return fail(kExitBadInput, "unknown command \"" + command + "\" (see vorrik --help)");
  } catch (const runner::InputError& error) {
    return fail(kExitBadInput, error.what());
  } catch (const std::exception& error) {
    return fail(kExitFailure, error.what());
  }
}
