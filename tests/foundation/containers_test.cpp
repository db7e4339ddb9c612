#include <gtest/gtest.h>

#include "foundation/bitvector.h"
#include "foundation/counted_object.h"
#include "foundation/error_handler.h"
#include "foundation/name_value_list.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"
#include "foundation/ref_vector.h"

#include <thread>

namespace orvalis {
namespace {

TEST(RefList, CopiesShareItemsAndBadIndexesThrow) {
  Ref_list<Ref_string> a;
  Ref_list<Ref_string> b = a;
  b.append("one");
  a.append("two");
  EXPECT_EQ(a.count(), 2);
  EXPECT_EQ(b[1], "two");
  EXPECT_TRUE(a.same_list(b));
  EXPECT_THROW(a.at(2), LIST_BOUNDS_ERROR);
  EXPECT_THROW(a.at(-1), LIST_BOUNDS_ERROR);
  Ref_list<int> empty;
  EXPECT_THROW(empty.take_first(), LIST_BOUNDS_ERROR);
  EXPECT_THROW(empty.last(), LIST_BOUNDS_ERROR);
}

TEST(RefList, InsertAndRemoveWhileWalkingKeepOrderAndBothEnds) {
  Ref_list<int> l{1, 3, 4, 5, 6};
  auto it = l.begin();
  ++it;
  l.insert(it, 2);
  l.insert(l.end(), 7);
  l.prepend(0);
  int expected = 0;
  for (int x : l) EXPECT_EQ(x, expected++);
  EXPECT_EQ(expected, 8);
  for (auto i = l.begin(); i != l.end();) {  // removal continues at the successor
    if (*i % 2 == 0)
      i = l.remove(i);
    else
      ++i;
  }
  EXPECT_EQ(l.count(), 4);
  EXPECT_EQ(l[1], 3);
  // Removing the first and the last keeps both ends linked.
  l.remove(l.begin());
  auto last = l.end();
  --last;
  l.remove(last);
  EXPECT_EQ(l.count(), 2);
  EXPECT_EQ(l.first(), 3);
  EXPECT_EQ(l.last(), 5);
}

struct Tracked : Counted_object {
  explicit Tracked(int* deaths) : deaths_(deaths) {}
  ~Tracked() override { ++*deaths_; }
  int* deaths_;
};
struct Derived : Tracked {
  using Tracked::Tracked;
};

TEST(CountedHandle, LastHandleDestroysTheObject) {
  int deaths = 0;
  {
    Counted_handle<Tracked> a = make_counted<Tracked>(&deaths);
    EXPECT_EQ(a->ref_count(), 1);
    {
      Counted_handle<Tracked> b = a;
      EXPECT_EQ(a->ref_count(), 2);
      Counted_handle<Tracked> moved = std::move(b);
      EXPECT_EQ(a->ref_count(), 2);
      EXPECT_FALSE(b);
    }
    EXPECT_EQ(deaths, 0);
    const Counted_handle<Tracked>& same = a;
    a = same;  // self-assignment keeps the object
    EXPECT_EQ(a->ref_count(), 1);
  }
  EXPECT_EQ(deaths, 1);
}

TEST(CountedHandle, DerivedHandlesConvertAndCast) {
  int deaths = 0;
  Counted_handle<Derived> d = make_counted<Derived>(&deaths);
  Counted_handle<Tracked> base = d;
  EXPECT_EQ(base->ref_count(), 2);
  EXPECT_TRUE(handle_cast<Derived>(base));
  Ref_list<Counted_handle<Tracked>> list;
  list.append(base);
  d = nullptr;
  base = nullptr;
  EXPECT_EQ(deaths, 0);
  list.clear();
  EXPECT_EQ(deaths, 1);
}

TEST(RefVector, FixedCountAndBounds) {
  Ref_vector<Ref_string> v(3);
  EXPECT_EQ(v.count(), 3);
  v.set(2, "z");
  Ref_vector<Ref_string> shared = v;
  EXPECT_EQ(shared[2], "z");
  EXPECT_THROW(v[3], Vector_index_out_of_range);
  EXPECT_THROW(v[-1], Vector_index_out_of_range);
  Ref_vector<int> none(0);
  EXPECT_THROW(none[0], Vector_index_out_of_range);
}

TEST(Bitvector, SetsTestsAndReportsBadIndexFirst) {
  Collecting_error_handler errors;
  Bitvector b;
  EXPECT_EQ(b.first(), -1);
  b.set(255);
  b.set(31);
  b.set(32);
  EXPECT_EQ(b.test(255), 1);
  EXPECT_EQ(b.test(31), 1);
  EXPECT_EQ(b.test(33), 0);
  EXPECT_EQ(b.first(), 31);
  EXPECT_EQ(b.word(1), 1u);
  EXPECT_THROW(b.set(256), Bitvector_exception);
  EXPECT_THROW(b.test(-1), Bitvector_exception);
  ASSERT_EQ(errors.messages().count(), 2);
  EXPECT_EQ(errors.messages()[0], "Bitvector index too large.");
}

TEST(ErrorHandler, ErrorsGoToTheThreadsCurrentHandlerWarningsOnlyWhenSwitchedOn) {
  Collecting_error_handler errors;
  report_error("first");
  report_warning("dropped");
  set_warnings_enabled(true);
  report_warning("kept");
  set_warnings_enabled(false);
  ASSERT_EQ(errors.messages().count(), 2);
  EXPECT_EQ(errors.messages()[1], "kept");

  // Another thread has its own handler and does not reach this one.
  std::thread([] {
    Collecting_error_handler other;
    report_error("elsewhere");
    EXPECT_EQ(other.messages().count(), 1);
  }).join();
  EXPECT_EQ(errors.messages().count(), 2);
}

TEST(ErrorHandler, DestroyingTheCurrentHandlerLeavesNone) {
  Error_handler* before = Error_handler::current();
  {
    Error_handler plain;
    plain.make_current();
    report_error("x");
    EXPECT_EQ(plain.messages().count(), 1);
  }
  EXPECT_EQ(Error_handler::current(), nullptr);
  if (before) before->make_current();
}

TEST(NameValueList, SetReplacesIgnoringCaseAddAppends) {
  Name_value_list l;
  l.set("Content-Length", "10");
  l.set("content-length", "20");
  l.add("content-length", "30");
  EXPECT_EQ(l.count(), 2);
  EXPECT_EQ(l.get("CONTENT-LENGTH"), "20");
  EXPECT_TRUE(l.has("Content-length"));
  EXPECT_FALSE(l.has("Location"));
  EXPECT_EQ(l.get("Location"), "");
}

}  // namespace
}  // namespace orvalis
