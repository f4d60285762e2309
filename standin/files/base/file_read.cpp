#include "standin/files/base/file_read.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace standin {
namespace {

namespace fs = std::filesystem;

fs::file_type typeAt(const std::string& path) {
  std::error_code error;
  return fs::status(path, error).type();
}

// Closes the file however the read ends.
struct OpenFile {
  std::FILE* file;
  ~OpenFile() {
    if (file) std::fclose(file);
  }
};

// The next `count` bytes, fewer at the end of the file.
std::string readSome(std::FILE* file, std::size_t count) {
  std::string bytes(count, '\0');
  bytes.resize(std::fread(&bytes[0], 1, count, file));
  if (std::ferror(file)) throw FileReadError(std::strerror(errno));
  return bytes;
}

// Appends the rest of the file; false, with nothing more appended, once the whole would be
// over `limit` bytes.
bool readRest(std::FILE* file, std::string& bytes, std::size_t limit) {
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (bytes.size() + got > limit) return false;
    bytes.append(buffer, got);
  }
  if (std::ferror(file)) throw FileReadError(std::strerror(errno));
  return true;
}

}  // namespace

std::string notAFile(const std::string& path) {
  switch (typeAt(path)) {
    case fs::file_type::regular:
    case fs::file_type::not_found:
    case fs::file_type::none: return "";
    case fs::file_type::directory: return "a directory";
    case fs::file_type::character:
    case fs::file_type::block: return "a device";
    case fs::file_type::fifo: return "a pipe";
    case fs::file_type::socket: return "a socket";
    default: break;
  }
  return "a special file";
}

std::string readFileBytes(const std::string& path, bool filesOnly, std::size_t headBytes,
                          const HeadCheck& check) {
  const fs::file_type type = typeAt(path);
  if (type == fs::file_type::directory) throw FileReadError("it is a directory");
  if (type == fs::file_type::character || type == fs::file_type::block) {
    throw FileReadError("it is a device, not a file");
  }
  if (filesOnly && type != fs::file_type::regular && type != fs::file_type::not_found) {
    throw FileReadError("it is " + notAFile(path) + ", not a file");
  }
  OpenFile open{std::fopen(path.c_str(), "rb")};
  if (!open.file) throw FileReadError(std::strerror(errno));

  std::string bytes;
  if (check) {
    bytes = readSome(open.file, headBytes);
    check(bytes);
  }
  // A file that says it is too large is refused before it is read; one that grows while it
  // is read is stopped at the bound.
  std::error_code error;
  const std::uintmax_t size = type == fs::file_type::regular ? fs::file_size(path, error) : 0;
  if (!error && size > kMaxFileBytes) throw FileReadError("larger than 1 GiB");
  if (!error && size > bytes.size()) bytes.reserve(static_cast<std::size_t>(size));
  if (!readRest(open.file, bytes, kMaxFileBytes)) throw FileReadError("larger than 1 GiB");
  return bytes;
}

}  // namespace standin
