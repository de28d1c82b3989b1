#include "common/win32/scoped_handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace win32 {
namespace {

std::vector<HANDLE> g_closed;
BOOL WINAPI RecordClose(HANDLE handle) {
  g_closed.push_back(handle);
  return TRUE;
}
using Recorded = ScopedResource<HANDLE, RecordClose, 0, -1>;

HANDLE Fake(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }

TEST(ScopedResourceTest, ClosesEachHandleOnceAcrossMovesResetsAndRelease) {
  g_closed.clear();
  {
    Recorded a(Fake(1));
    Recorded b(std::move(a));
    EXPECT_FALSE(a);
    Recorded& alias = b;
    b = std::move(alias);  // to itself
    b.reset(b.get());      // to what it holds
    EXPECT_TRUE(g_closed.empty());
    Recorded c(Fake(2));
    c = std::move(b);  // closes 2, takes 1
    EXPECT_EQ(c.release(), Fake(1));
    *c.put() = Fake(3);
    c.reset(Fake(4));  // closes 3; 4 goes with c
  }
  EXPECT_EQ(g_closed, (std::vector<HANDLE>{Fake(2), Fake(3), Fake(4)}));
}

TEST(ScopedResourceTest, NeitherNullNorInvalidHandleValueIsClosed) {
  g_closed.clear();
  {
    Recorded none(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none);
    none.reset();
    Recorded null;
    EXPECT_FALSE(null);
    EXPECT_EQ(null.get(), nullptr);
  }
  EXPECT_TRUE(g_closed.empty());
}

TEST(ScopedResourceTest, RealHandlesAreClosedOnlyByTheirOwner) {
  ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const HANDLE raw = event.release();
  EXPECT_FALSE(event);
  DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(raw, &flags));
  event.reset(raw);
  event.reset();
  EXPECT_FALSE(::GetHandleInformation(raw, &flags));

  // DeleteObject takes an HGDIOBJ; the owner holds an HBITMAP.
  HBITMAP bitmap = ::CreateBitmap(4, 4, 1, 32, nullptr);
  ASSERT_NE(bitmap, nullptr);
  { ScopedResource<HBITMAP, ::DeleteObject> owner(bitmap); }
  EXPECT_EQ(::GetObjectType(bitmap), 0u);
}

}  // namespace
}  // namespace win32
