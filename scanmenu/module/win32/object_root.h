// The reference count every COM object of the module starts from, with the
// threading model choosing plain or atomic counting.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace scanmenu {

// Objects used only on the thread of their single-threaded apartment.
struct SingleThreadModel {
  static ULONG Increment(LONG* count) { return static_cast<ULONG>(++*count); }
  static ULONG Decrement(LONG* count) { return static_cast<ULONG>(--*count); }
};

// Objects any thread may call.
struct MultiThreadModel {
  static ULONG Increment(LONG* count) { return static_cast<ULONG>(::InterlockedIncrement(count)); }
  static ULONG Decrement(LONG* count) { return static_cast<ULONG>(::InterlockedDecrement(count)); }
};

// The count a released object is left with, to make a late use stand out.
inline constexpr LONG kDestroyedReferenceCount = static_cast<LONG>(0xC0000001u);

template <typename ThreadModel>
class CObjectRoot {
 public:
  ULONG InternalAddRef() { return ThreadModel::Increment(&ref_count_); }
  ULONG InternalRelease() { return ThreadModel::Decrement(&ref_count_); }

 protected:
  CObjectRoot() = default;
  ~CObjectRoot() = default;

  LONG ref_count_ = 0;
};

}  // namespace scanmenu
