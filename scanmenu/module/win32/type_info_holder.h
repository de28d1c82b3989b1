// The type information of one interface, loaded from the type library inside
// this module on first use and released when the module is torn down.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <type_traits>

namespace scanmenu {

class TypeInfoHolder {
 public:
  explicit TypeInfoHolder(const IID& iid) : iid_(iid) {}
  TypeInfoHolder(const TypeInfoHolder&) = delete;
  TypeInfoHolder& operator=(const TypeInfoHolder&) = delete;

  // An AddRef'ed ITypeInfo, or the failure of loading it.
  HRESULT GetTypeInfo(ITypeInfo** out);

 private:
  static void Cleanup(DWORD_PTR context);

  const IID& iid_;
  ITypeInfo* info_ = nullptr;
};

// Holders live in function-local statics that the module's termination list
// still reaches at unload; with nothing to destroy, they stay usable until
// the very end.
static_assert(std::is_trivially_destructible_v<TypeInfoHolder>);

}  // namespace scanmenu
