// The instance creator of a class: stand-alone without an outer unknown,
// aggregated with one.
#pragma once

#include <windows.h>

#include "scanmenu/module/win32/com_agg_object.h"
#include "scanmenu/module/win32/com_object.h"

namespace scanmenu {

template <class Base>
HRESULT CreateInstanceOf(IUnknown* outer, REFIID iid, void** out) {
  if (outer == nullptr) return CComObject<Base>::CreateInstance(iid, out);
  return CComAggObject<Base>::CreateInstance(outer, iid, out);
}

}  // namespace scanmenu
