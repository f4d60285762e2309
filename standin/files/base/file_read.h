// Reading the files a run names (scenes, scripts, object files) whole, within a bound, and
// telling what a path is when it is not a file.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace standin {

// Files this large are not rigs; the bound stops a device or a huge file from filling memory.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

// A file that cannot be read; what() is the reason alone ("it is a directory", "larger than
// 1 GiB", the system's words), for the caller to put the path and the file's kind around.
struct FileReadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What is at `path` (links followed), in the words a message uses: "a directory", "a device",
// "a pipe", "a socket", "a special file"; "" for a regular file or when nothing is there.
std::string notAFile(const std::string& path);

// Sees the first bytes of a file before the rest is read, and throws to refuse it.
using HeadCheck = std::function<void(std::string_view head)>;

// The bytes of `path`, up to kMaxFileBytes. Directories and devices are refused; so are
// pipes and sockets when `filesOnly`. When `check` is given it sees the first `headBytes`
// bytes (all of a shorter file) before anything more is read or any size is refused.
// Throws FileReadError, or whatever `check` throws.
std::string readFileBytes(const std::string& path, bool filesOnly = false,
                          std::size_t headBytes = 0, const HeadCheck& check = {});

}  // namespace standin
