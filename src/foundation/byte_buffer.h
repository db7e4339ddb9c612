// Byte_buffer holds a received page or file: a list of chunks, each a copy of what one read
// brought (followed by a zero byte that does not count), joined into one block only when the
// contents are asked for. The contents are therefore always zero-terminated. Shared by
// Counted_handle between a network task, its connection and the page readers; one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/counted_object.h"
#include "foundation/ref_string.h"

namespace orvalis {

class Byte_buffer : public Counted_object {
 public:
  Byte_buffer() = default;
  // Appends a copy of n bytes as a new chunk; n <= 0 does nothing.
  void append(const void* bytes, std::int64_t n);
  std::int64_t length() const { return length_; }
  // The whole contents as one zero-terminated block, or null when empty.
  const char* contents();
  // Address of byte i of the contents, or null when i is outside 0..length-1.
  const char* pointer_at(std::int64_t i);
  // Writes the contents to `path` (created or truncated, owner read/write); false when the
  // file could not be opened or not all bytes could be written.
  bool write_to_file(const char* path);
  // Appends the whole file as one chunk; true when the file could be opened.
  bool read_file(const char* path);
  // The contents as a string (empty when there are none).
  Ref_string text();
  std::size_t chunk_count() const { return chunks_.size(); }

  // Read cursor: each step gives the byte at the cursor (null at the end) and moves on.
  class Cursor {
   public:
    explicit Cursor(Byte_buffer& b) : buffer_(&b) {}
    const char* next() { return buffer_->pointer_at(at_++); }

   private:
    Byte_buffer* buffer_;
    std::int64_t at_ = 0;
  };

 private:
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    std::int64_t size;
  };
  std::vector<Chunk> chunks_;
  std::int64_t length_ = 0;
};

using Byte_buffer_handle = Counted_handle<Byte_buffer>;

// Gives `h` a new, empty buffer; other holders of the old one keep it.
void clear(Byte_buffer_handle& h);

}  // namespace orvalis
