#include "util/scoped_handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "tests/support/test_support.h"
#include "util/scoped_gdi.h"

namespace {

using tn::ComPtr;
using tn::ScopedHandle;

TEST(ScopedHandleTest, CloseReportsTheResultAndForgetsTheHandle) {
  tn_test::ScopedTempDir dir;
  ScopedHandle file(::CreateFileA(dir.Join("closed.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file.IsValid());
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.IsValid());
  EXPECT_TRUE(file.Close());  // nothing left to close

  // A value that was never a handle: the close fails with the system's
  // reason, and the owner does not try again at its end.
  ScopedHandle bogus(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00FFFFF4)));
  ::SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(bogus.Close());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ::GetLastError());
  EXPECT_FALSE(bogus.IsValid());
}

TEST(ScopedHandleTest, ReceiveReleasesTheOldValueFirst) {
  ScopedHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const HANDLE first = event.Get();
  ASSERT_NE(nullptr, first);
  HANDLE* slot = event.Receive();
  EXPECT_EQ(nullptr, *slot);
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(first, &flags));  // closed
  *slot = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_TRUE(event.IsValid());
}

// Counts references and records whether its owner had already let go when
// the last one went.
class CountedObject : public IUnknown {
 public:
  explicit CountedObject(ComPtr<IUnknown>* owner) : owner_(owner) {}
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
  STDMETHODIMP_(ULONG) Release() override {
    if (--references == 0 && owner_) owner_empty_at_last_release = !*owner_;
    return static_cast<ULONG>(references);
  }
  long references = 1;
  bool owner_empty_at_last_release = false;

 private:
  ComPtr<IUnknown>* owner_;
};

TEST(ComPtrTest, AttachAdoptsMoveHandsOverAndResetForgetsBeforeReleasing) {
  ComPtr<IUnknown> owner;
  CountedObject object(&owner);
  owner.Attach(&object);
  EXPECT_EQ(1, object.references);  // no AddRef for a reference taken over
  {
    ComPtr<IUnknown> copy = owner;
    EXPECT_EQ(2, object.references);
    ComPtr<IUnknown> moved = std::move(copy);
    EXPECT_EQ(2, object.references);
    EXPECT_FALSE(copy);
  }
  EXPECT_EQ(1, object.references);
  owner.Reset();
  EXPECT_EQ(0, object.references);
  EXPECT_TRUE(object.owner_empty_at_last_release);
}

TEST(ScopedBstrTest, OwnsAStringHandedOutThroughAnOutParameter) {
  tn::ScopedBstr text;
  *text.Receive() = ::SysAllocString(L"name");
  ASSERT_TRUE(text.IsValid());
  EXPECT_EQ(4u, ::SysStringLen(text.Get()));
  EXPECT_TRUE(text.Close());
  EXPECT_FALSE(text.IsValid());
}

TEST(ScopedGdiTest, SelectionIsUndoneBeforeTheObjectIsDeleted) {
  tn::ScopedCreatedDC dc(::CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc.IsValid());
  const HGDIOBJ original = ::GetCurrentObject(dc.Get(), OBJ_BITMAP);
  HBITMAP raw = nullptr;
  {
    tn::ScopedBitmap bitmap(::CreateCompatibleBitmap(dc.Get(), 4, 4));
    ASSERT_TRUE(bitmap.IsValid());
    raw = bitmap.Get();
    tn::ScopedSelectObject select(dc.Get(), bitmap.Get());
    EXPECT_EQ(raw, ::GetCurrentObject(dc.Get(), OBJ_BITMAP));
  }
  EXPECT_EQ(original, ::GetCurrentObject(dc.Get(), OBJ_BITMAP));
  EXPECT_EQ(0u, ::GetObjectType(raw));  // deleted, as it was no longer selected

  tn::ScopedPen pen(::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
  EXPECT_TRUE(pen.Close());
  EXPECT_TRUE(dc.Close());
}

}  // namespace
