#include "foundation/byte_buffer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace orvalis {
namespace {

TEST(ByteBuffer, ChunksJoinLazilyAndStayZeroTerminated) {
  auto b = make_counted<Byte_buffer>();
  EXPECT_EQ(b->contents(), nullptr);
  b->append("abc", 3);
  b->append("", 0);
  b->append("de", 2);
  EXPECT_EQ(b->chunk_count(), 2u);
  EXPECT_EQ(b->length(), 5);
  EXPECT_STREQ(b->contents(), "abcde");
  EXPECT_EQ(b->chunk_count(), 1u);
  EXPECT_EQ(*b->pointer_at(4), 'e');
  EXPECT_EQ(b->pointer_at(5), nullptr);
  EXPECT_EQ(b->pointer_at(-1), nullptr);
  Byte_buffer::Cursor c(*b);
  std::string walked;
  while (const char* p = c.next()) walked += *p;
  EXPECT_EQ(walked, "abcde");
}

TEST(ByteBuffer, ClearGivesTheHandleANewBuffer) {
  auto b = make_counted<Byte_buffer>();
  b->append("page", 4);
  Byte_buffer_handle other = b;
  clear(b);
  EXPECT_EQ(b->length(), 0);
  EXPECT_EQ(other->length(), 4);
}

TEST(ByteBuffer, FileRoundTripKeepsBinaryBytes) {
  testing::Temp_dir dir("orvalis-buffer-");
  const std::string path = dir.file("buffer");
  auto b = make_counted<Byte_buffer>();
  const char bytes[] = {'a', 0, '\xff', '\n'};
  b->append(bytes, 4);
  ASSERT_TRUE(b->write_to_file(path.c_str()));
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  auto back = make_counted<Byte_buffer>();
  ASSERT_TRUE(back->read_file(path.c_str()));
  ASSERT_EQ(back->length(), 4);
  EXPECT_EQ(std::string(back->contents(), 4), std::string(bytes, 4));
  std::filesystem::remove(path);
  EXPECT_FALSE(back->read_file(path.c_str()));
  EXPECT_FALSE(b->write_to_file("/nonexistent-dir/x"));
}

}  // namespace
}  // namespace orvalis
