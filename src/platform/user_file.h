// Opening a file that the user named (a page to analyse, a database, a definitions file) for
// reading. Such a name may point at anything: a directory reads as nothing, a device such as
// /dev/zero never ends, and opening a FIFO waits for a writer that may never come. Only a
// regular file (or a link to one) is opened; anything else is refused with a sentence that
// says what the name is. Devices are never opened, and a FIFO never blocks the caller.
// Pure functions of the file system; any thread. Only std types at the surface.
#pragma once

#include <cstdint>
#include <string>

namespace orvalis::platform {

// Why `path` cannot be used as a regular file ("notes is a directory, not a file."), or empty
// when it is one. A name that does not exist is refused too, unless `absent_ok` (for a file
// that the caller will create).
std::string regular_file_problem(const std::string& path, bool absent_ok = false);

// Reads at most `limit` bytes of the regular file at `path` into `contents`. `complete` tells
// whether that was the whole file. False, with `error` set, when the file cannot be read.
bool read_regular_file(const std::string& path, std::int64_t limit, std::string& contents,
                       bool& complete, std::string& error);

// Appends at most `limit` bytes read from the open descriptor `fd` (standard input, say) to
// `contents`; `complete` tells whether the stream ended within them. False, with `error` set to
// the system's reason, when a read fails.
bool read_stream(int fd, std::int64_t limit, std::string& contents, bool& complete,
                 std::string& error);

}  // namespace orvalis::platform
