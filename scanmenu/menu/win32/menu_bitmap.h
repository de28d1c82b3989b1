// The 32-bit bitmap that carries the menu icon on menus that draw item
// bitmaps themselves.
#pragma once

#include <windows.h>

#include "scanmenu/menu/win32/scoped_gdi.h"

namespace scanmenu {

// A bottom-up 32-bit DIB section of `size`, made with `dc` or, when that is
// null, with the screen's. S_OK with the bitmap, or E_OUTOFMEMORY.
HRESULT CreateBitmap32(HDC dc, SIZE size, HBITMAP* bitmap);

// `icon` drawn into a new bitmap of `size`; empty when none could be made.
// A null icon gives a blank bitmap.
ScopedBitmap MakeMenuBitmap(HICON icon, SIZE size);

}  // namespace scanmenu
