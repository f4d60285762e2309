#include "support/temp_folder.h"

#include <stdlib.h>  // mkdtemp

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "support/file_text.h"

namespace testing_support {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string stem = "vorrik";
  if (const auto* test = ::testing::UnitTest::GetInstance()->current_test_info()) {
    stem += std::string("-") + test->test_suite_name() + "-" + test->name();
  }
  for (char& c : stem) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
  }
  std::string pattern = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder " + pattern + ": " + std::strerror(errno));
  }
  root_ = pattern;
}

TempFolder::~TempFolder() {
  // A test may leave folders it made unwritable or unreadable: open them again first, each
  // before the walk goes into it. Links are not followed.
  std::error_code ignored;
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
  std::error_code walking;
  for (fs::recursive_directory_iterator entry(root_, walking), end; !walking && entry != end;
       entry.increment(walking)) {
    if (entry->is_directory(ignored) && !entry->is_symlink(ignored)) {
      fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(root_, ignored);
}

std::string TempFolder::path(const std::string& name) const { return (root_ / name).string(); }

fs::path TempFolder::write(const std::string& name, const std::string& bytes) const {
  const fs::path file = root_ / name;
  fs::create_directories(file.parent_path());
  writeFile(file, bytes);
  return file;
}

std::vector<std::string> TempFolder::listing(const std::string& sub) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root_ / sub)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testing_support
