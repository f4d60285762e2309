#pragma once

#include <exception>

namespace vorrik {

// The host lacks a table or a member the module needs. Thrown inside an activation and
// caught by the activation guard, which ends the activation cleanly.
class HostFault : public std::exception {
public:
  explicit HostFault(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

private:
  const char* what_;  // a string literal
};

}  // namespace vorrik
