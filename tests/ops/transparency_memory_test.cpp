// Edits under memory exhaustion: this test program replaces the global operator new so that a
// test can make the n-th allocation from now on, and every one after it, fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ops/transparency.h"
#include "support/test_support.h"

namespace {

// Allocations left before the failures start; negative while disarmed.
std::atomic<long> g_allocationsLeft{-1};

struct FailAllocationsAfter {
  explicit FailAllocationsAfter(long n) { g_allocationsLeft.store(n); }
  ~FailAllocationsAfter() { g_allocationsLeft.store(-1); }
};

void* Allocate(std::size_t n) {
  long left = g_allocationsLeft.load();
  while (left >= 0) {
    if (left == 0) throw std::bad_alloc();
    if (g_allocationsLeft.compare_exchange_weak(left, left - 1)) break;
  }
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace qp {
namespace {

using test::MakePicture;
using test::SolidPicture;

// A white field with a black ring around a white hole: the fill reaches the field only, and its
// work stack grows several times on the way.
ImageBuffer RingPicture() {
  return MakePicture(64, 48, [](int x, int y) {
    const int d = std::max(std::abs(x - 32), std::abs(y - 24));
    return d == 10 ? 0xFF000000u : 0xFFFFFFFFu;
  });
}

bool SameBytes(const ImageBuffer& a, const ImageBuffer& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         std::memcmp(a.data(), b.data(), a.pixelCount() * 4) == 0;
}

TEST(TransparencyUnderMemoryShortage, FillFromBackgroundLeavesPictureAndSnapshotUnchanged) {
  ViewerState refState;
  UndoSnapshot refUndo;
  ImageBuffer expected = RingPicture();
  ASSERT_TRUE(FillFromBackground(expected, refUndo, refState));
  ASSERT_EQ(expected.pixel(0, 0)[3], 0);
  ASSERT_EQ(expected.pixel(32, 24)[3], 255);

  // Fail the first allocation, then the second, and so on, until the fill gets all it needs.
  bool completed = false;
  for (long n = 0; n < 64 && !completed; ++n) {
    ViewerState st;
    st.vectorSource = 1;
    UndoSnapshot undo;
    const ImageBuffer marker = SolidPicture(2, 2, 0xFF123456);
    undo.TakeCopy(marker);
    ImageBuffer img = RingPicture();
    const ImageBuffer original = RingPicture();
    {
      FailAllocationsAfter fail(n);
      completed = FillFromBackground(img, undo, st);
    }
    if (completed) {
      EXPECT_TRUE(SameBytes(img, expected)) << "after " << n << " allocations";
      EXPECT_EQ(undo.width(), 64);
      EXPECT_EQ(st.vectorSource, 0);
    } else {
      EXPECT_TRUE(SameBytes(img, original)) << "failing allocation " << n;
      EXPECT_EQ(undo.width(), 2) << "failing allocation " << n;
      EXPECT_EQ(st.vectorSource, 1) << "failing allocation " << n;
    }
  }
  EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace qp
