// A folder of its own for each test that works with files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// A new, empty folder under the system's temporary folder, named after the running test and
// made unique by mkdtemp, so that tests, test runs and builds running at once never share one.
class TempFolder {
public:
  // Throws std::runtime_error when the folder cannot be made.
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // Removes the folder with everything in it, parts a test made read-only included.
  ~TempFolder();

  const std::filesystem::path& root() const { return root_; }
  // `name` inside the folder (it may name folders on the way), as text.
  std::string path(const std::string& name) const;
  // Writes `bytes` to `name` inside the folder, making the folders on the way; its path.
  std::filesystem::path write(const std::string& name, const std::string& bytes) const;
  // The names in the folder, or in its folder `sub`, sorted.
  std::vector<std::string> listing(const std::string& sub = "") const;

private:
  std::filesystem::path root_;
};

// The fixture of tests that work with files: a fresh TempFolder for each test, at `folder_`.
class FolderTest : public ::testing::Test, public TempFolder {
protected:
  const std::filesystem::path folder_ = root();
};

}  // namespace testing_support
