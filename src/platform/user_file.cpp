#include "platform/user_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvalis::platform {

namespace {

// What a file of this mode is, for a message; null for a regular file.
const char* kind_of(mode_t mode) {
  if (S_ISREG(mode)) return nullptr;
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "a special file";
}

std::string not_a_file(const std::string& path, const char* kind) {
  return path + " is " + kind + ", not a file.";
}

}  // namespace

std::string regular_file_problem(const std::string& path, bool absent_ok) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT && absent_ok) return {};
    return "Cannot read " + path + ": " + std::strerror(errno) + ".";
  }
  const char* kind = kind_of(st.st_mode);
  return kind ? not_a_file(path, kind) : std::string();
}

bool read_regular_file(const std::string& path, std::int64_t limit, std::string& contents,
                       bool& complete, std::string& error) {
  contents.clear();
  error = regular_file_problem(path);
  if (!error.empty()) return false;
  // The name may have been replaced since it was looked at: O_NONBLOCK keeps a FIFO from
  // holding the open, and the opened file is checked again.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = "Cannot read " + path + ": " + std::strerror(errno) + ".";
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || kind_of(st.st_mode)) {
    error = not_a_file(path, kind_of(st.st_mode) ? kind_of(st.st_mode) : "a special file");
    ::close(fd);
    return false;
  }
  const std::int64_t expected = st.st_size < limit ? st.st_size : limit;
  contents.reserve(static_cast<size_t>(expected > 0 ? expected : 0));
  const bool read = read_stream(fd, limit, contents, complete, error);
  ::close(fd);
  if (!read) error = "Cannot read " + path + ": " + error + ".";
  return read;
}

bool read_stream(int fd, std::int64_t limit, std::string& contents, bool& complete,
                 std::string& error) {
  complete = true;
  char block[65536];
  for (std::int64_t taken = 0;;) {
    const std::int64_t room = limit - taken;
    // One byte past the limit tells a stream of exactly `limit` bytes from a longer one.
    const size_t want = room < static_cast<std::int64_t>(sizeof block) ? static_cast<size_t>(room) + 1
                                                                       : sizeof block;
    const ssize_t got = ::read(fd, block, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      return false;
    }
    if (got == 0) return true;
    if (got > room) {
      contents.append(block, static_cast<size_t>(room));
      complete = false;
      return true;
    }
    contents.append(block, static_cast<size_t>(got));
    taken += got;
  }
}

}  // namespace orvalis::platform
