// Whole files as bytes, for tests that write inputs and read back what was written.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

// The bytes of `path`; "" when it cannot be opened, so the check that follows says what it
// expected instead of the test stopping here.
std::string readFile(const std::filesystem::path& path);

// Replaces `path` with `bytes`; throws std::runtime_error when the file cannot be written.
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace testing_support
