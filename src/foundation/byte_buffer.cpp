#include "foundation/byte_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace orvalis {

void Byte_buffer::append(const void* bytes, std::int64_t n) {
  if (n <= 0) return;
  std::unique_ptr<char[]> block(new char[static_cast<size_t>(n) + 1]);
  std::memcpy(block.get(), bytes, static_cast<size_t>(n));
  block[n] = 0;
  chunks_.push_back(Chunk{std::move(block), n});
  length_ += n;
}

const char* Byte_buffer::contents() {
  if (length_ == 0) return nullptr;
  if (chunks_.size() > 1) {
    std::unique_ptr<char[]> whole(new char[static_cast<size_t>(length_) + 1]);
    char* p = whole.get();
    for (const Chunk& c : chunks_) {
      std::memcpy(p, c.bytes.get(), static_cast<size_t>(c.size));
      p += c.size;
    }
    *p = 0;
    chunks_.clear();
    chunks_.push_back(Chunk{std::move(whole), length_});
  }
  return chunks_.front().bytes.get();
}

const char* Byte_buffer::pointer_at(std::int64_t i) {
  if (i < 0 || i >= length_) return nullptr;
  return contents() + i;
}

bool Byte_buffer::write_to_file(const char* path) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const char* p = contents();
  std::int64_t left = length_;
  bool ok = true;
  while (left > 0) {
    ssize_t w = ::write(fd, p, static_cast<size_t>(left));
    if (w <= 0) {
      ok = false;
      break;
    }
    p += w;
    left -= w;
  }
  ::close(fd);
  return ok;
}

bool Byte_buffer::read_file(const char* path) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<char> all;
  char block[65536];
  for (;;) {
    ssize_t r = ::read(fd, block, sizeof block);
    if (r <= 0) break;
    all.insert(all.end(), block, block + r);
  }
  ::close(fd);
  append(all.data(), static_cast<std::int64_t>(all.size()));
  return true;
}

Ref_string Byte_buffer::text() {
  const char* c = contents();
  return c ? Ref_string(c) : Ref_string();
}

void clear(Byte_buffer_handle& h) { h = make_counted<Byte_buffer>(); }

}  // namespace orvalis
