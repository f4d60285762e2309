// Files written together, all or none: each goes to a temporary created exclusively beside
// its target (never through a link), and only when every temporary is complete and flushed
// are they renamed into place. Any failure removes the temporaries and leaves every target
// as it was.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace standin {

// A batch that cannot be written; what() is one line: "cannot write PATH: why".
struct FileWriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class FileBatch {
public:
  // Queues `bytes` for `path`. A later file for the same path replaces an earlier one.
  void add(const std::string& path, std::string bytes);
  // A file no target may be (the script being run); `why` ends the refusal message.
  void protect(const std::string& path, const std::string& why);

  struct File {
    std::string path;
    std::string bytes;
  };
  const std::vector<File>& files() const { return files_; }

  // Writes every queued file or none. Refused targets: a symbolic link, a directory or other
  // non-regular file, a read-only file, a protected file, a missing folder. Throws
  // FileWriteError; after a throw no target has changed, except when the system fails
  // between two renames, which the message then says.
  void commit() const;

private:
  struct Protected {
    std::string path;
    std::string why;
  };
  std::vector<File> files_;
  std::vector<Protected> protected_;
};

}  // namespace standin
