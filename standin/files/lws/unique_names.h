// Layout lets items share a name and shows the repeats with a suffix: "Bone", "Bone (2)",
// "Bone (3)", ... The scene needs them unique, so the reader gives them those names.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace standin {

class UniqueNames {
public:
  // `name` when no earlier name took it, else `name (k)` for the smallest k >= 2 not taken
  // by an earlier name and not tried before for this `name`. Linear in all: each base name
  // remembers where its search stopped.
  std::string add(const std::string& name);
  // Set lookups made so far, for checking that the work stays linear.
  std::size_t probes() const { return probes_; }

private:
  std::unordered_set<std::string> taken_;
  std::unordered_map<std::string, long long> nextSuffix_;
  std::size_t probes_ = 0;
};

}  // namespace standin
