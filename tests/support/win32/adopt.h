// A new COM object's first reference handed to a ComPtr.
//
// mingw-w64's ComPtr::Attach adds a reference of its own (Microsoft's does
// not), so `ptr.Attach(new Object)` keeps every object alive for ever under
// this toolchain. Adopt writes the pointer into the empty ComPtr, which then
// owns the reference the object was created with, under either header.
#pragma once

#include <wrl/client.h>

namespace test_support {

template <typename Interface, typename Object>
Microsoft::WRL::ComPtr<Interface> Adopt(Object* created) {
  Microsoft::WRL::ComPtr<Interface> owner;
  *owner.GetAddressOf() = created;
  return owner;
}

}  // namespace test_support
