// QueryInterface driven by a table: each row names an interface id and where
// in the object the base that implements it sits.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace scanmenu {

struct InterfaceEntry {
  const IID* iid;
  DWORD_PTR offset;  // bytes from the object's start to the implementing base
  DWORD_PTR kind;    // kSimpleEntry; 0 ends the table
};

inline constexpr DWORD_PTR kSimpleEntry = 1;

// Byte distance from a Derived object's start to its Base part.
template <class Base, class Derived>
DWORD_PTR OffsetOfClass() {
  constexpr DWORD_PTR kAnyAddress = 8;
  return reinterpret_cast<DWORD_PTR>(static_cast<Base*>(reinterpret_cast<Derived*>(kAnyAddress))) - kAnyAddress;
}

// The table walk: IUnknown is answered with the first row's base (the
// object's identity); any other id with the first row that names it. The
// base handed out is AddRef'ed through its own vtable.
HRESULT InternalQueryInterface(void* object, const InterfaceEntry* entries, REFIID iid, void** out);

}  // namespace scanmenu
