// What `vorrik --help` and `vorrik COMMAND --help` print.
#pragma once

#include <string>

namespace runner::cli {

extern const char* const kUsage;
extern const std::string kPlayUsage;
extern const std::string kRunUsage;
extern const std::string kDemoUsage;

// Where `vorrik demo` puts its pictures unless --out says otherwise.
extern const char* const kDefaultDemoFolder;

}  // namespace runner::cli
