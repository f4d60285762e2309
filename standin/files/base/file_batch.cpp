#include "standin/files/base/file_batch.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {
namespace {

namespace fs = std::filesystem;

#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0  // Windows: no symbolic links to follow through open()
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw FileWriteError("cannot write " + path + ": " + why);
}

// The same file twice in a batch is told by its normalised absolute path.
fs::path identity(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  if (ec) absolute = path;
  return absolute.lexically_normal();
}

bool isReadOnly(const std::string& path) {
#ifdef _WIN32
  std::error_code ec;
  const fs::perms perms = fs::status(path, ec).permissions();
  return !ec && (perms & fs::perms::owner_write) == fs::perms::none;
#else
  // A file nobody may write is read-only for root as well, who could write it anyway: the
  // user marked it so, and the run must not replace it.
  std::error_code ec;
  const fs::perms perms = fs::status(path, ec).permissions();
  const fs::perms anyWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (!ec && (perms & anyWrite) == fs::perms::none) return true;
  return ::access(path.c_str(), W_OK) != 0 && errno == EACCES;
#endif
}

// Hex text no one can guess in advance: the random device, mixed with the clock in case the
// platform's device is weak. O_EXCL keeps it safe even if a name were guessed.
std::string unpredictableName() {
  static std::random_device device;
  std::seed_seq seed{
      device(), device(),
      static_cast<unsigned>(std::chrono::high_resolution_clock::now().time_since_epoch().count())};
  std::mt19937_64 mix(seed);
  char text[40];
  std::snprintf(text, sizeof text, "%016llx%08x", static_cast<unsigned long long>(mix()),
                static_cast<unsigned>(mix()));
  return text;
}

void checkTarget(const std::string& path) {
  if (path.empty()) refuse(path, "no file name");
  std::error_code ec;
  const fs::file_status link = fs::symlink_status(path, ec);
  if (ec && link.type() != fs::file_type::not_found) refuse(path, ec.message());
  if (link.type() == fs::file_type::symlink) {
    refuse(path, "it is a symbolic link (write to the file it names instead)");
  }
  if (link.type() == fs::file_type::directory) refuse(path, "it is a directory");
  if (link.type() != fs::file_type::not_found && link.type() != fs::file_type::regular) {
    refuse(path, "it is not a regular file");
  }
  if (link.type() == fs::file_type::regular && isReadOnly(path)) {
    refuse(path, "the file is read-only");
  }
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  const fs::file_status folderStatus = fs::status(folder, ec);
  if (folderStatus.type() == fs::file_type::not_found) {
    refuse(path, "the folder " + folder.string() + " does not exist");
  }
  if (ec || folderStatus.type() != fs::file_type::directory) {
    refuse(path, folder.string() + " is not a folder");
  }
}

void writeAll(int fd, const std::string& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1u << 30);
#ifdef _WIN32
    const int wrote = ::_write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
#else
    const ssize_t wrote = ::write(fd, bytes.data() + done, chunk);
#endif
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) refuse(path, std::strerror(wrote < 0 ? errno : EIO));
    done += static_cast<std::size_t>(wrote);
  }
}

int flushAndClose(int fd) {
#ifdef _WIN32
  const int synced = ::_commit(fd);
  const int error = errno;
  const int closed = ::_close(fd);
#else
  const int synced = ::fsync(fd);
  const int error = errno;
  const int closed = ::close(fd);
#endif
  if (synced != 0) return error;
  return closed != 0 ? errno : 0;
}

// The temporaries of one commit; removed unless released after every rename.
class Temporaries {
public:
  ~Temporaries() {
    for (const std::string& temp : paths_) std::remove(temp.c_str());
  }

  // Creates and fills a new temporary beside `target`; returns its path.
  const std::string& write(const std::string& target, const std::string& bytes) {
    const fs::path where(target);
#ifndef _WIN32
    // A file replaced keeps its permissions: a private file stays private.
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
#endif
    const std::string stem = where.parent_path().empty()
                                 ? std::string()
                                 : where.parent_path().string() + std::string(1, '/');
    const std::string base = where.filename().string();
    for (int attempt = 0;; ++attempt) {
      const std::string temp = stem + "." + base + "." + unpredictableName() + ".vorrik-tmp";
      const int fd = ::open(temp.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_BINARY, 0666);
      if (fd < 0) {
        if (errno == EEXIST && attempt < 16) continue;
        refuse(target, std::strerror(errno));
      }
      paths_.push_back(temp);
      try {
#ifndef _WIN32
        if (replacing && ::fchmod(fd, old.st_mode & 07777) != 0)
          refuse(target, std::strerror(errno));
#endif
        writeAll(fd, bytes, target);
      } catch (...) {
        flushAndClose(fd);
        throw;
      }
      const int error = flushAndClose(fd);
      if (error != 0) refuse(target, std::strerror(error));
      return paths_.back();
    }
  }

  void release() { paths_.clear(); }

private:
  std::vector<std::string> paths_;
};

void syncFolder(const std::string& target) {
#ifndef _WIN32
  fs::path folder = fs::path(target).parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the renames are already visible
  ::close(fd);
#else
  (void)target;
#endif
}

}  // namespace

void FileBatch::add(const std::string& path, std::string bytes) {
  const fs::path id = identity(path);
  for (File& file : files_) {
    if (identity(file.path) == id) {
      file.bytes = std::move(bytes);
      return;
    }
  }
  files_.push_back({path, std::move(bytes)});
}

void FileBatch::protect(const std::string& path, const std::string& why) {
  protected_.push_back({path, why});
}

void FileBatch::commit() const {
  for (const File& file : files_) {
    checkTarget(file.path);
    for (const Protected& kept : protected_) {
      std::error_code ec;
      if (identity(kept.path) == identity(file.path) || fs::equivalent(kept.path, file.path, ec)) {
        refuse(file.path, kept.why);
      }
    }
  }
  Temporaries temporaries;
  std::vector<std::string> temps;
  for (const File& file : files_) temps.push_back(temporaries.write(file.path, file.bytes));
  for (std::size_t i = 0; i < files_.size(); ++i) {
    std::error_code ec;
    fs::rename(temps[i], files_[i].path, ec);
    if (ec) {
      std::string message = ec.message();
      if (i > 0) {
        message += " (already written:";
        for (std::size_t done = 0; done < i; ++done) message += " " + files_[done].path;
        message += ")";
      }
      refuse(files_[i].path, message);  // the temporaries not yet renamed are removed
    }
    syncFolder(files_[i].path);
  }
  temporaries.release();
}

}  // namespace standin
