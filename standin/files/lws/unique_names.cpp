#include "standin/files/lws/unique_names.h"

namespace standin {

std::string UniqueNames::add(const std::string& name) {
  ++probes_;
  if (taken_.insert(name).second) return name;
  long long& next = nextSuffix_.try_emplace(name, 2).first->second;
  for (;;) {
    std::string candidate = name + " (" + std::to_string(next++) + ")";
    ++probes_;
    if (taken_.insert(candidate).second) return candidate;
  }
}

}  // namespace standin
