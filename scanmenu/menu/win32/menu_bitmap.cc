#include "scanmenu/menu/win32/menu_bitmap.h"

#include "scanmenu/menu/win32/scoped_gdi.h"

namespace scanmenu {

HRESULT CreateBitmap32(HDC dc, SIZE size, HBITMAP* bitmap) {
  *bitmap = nullptr;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = size.cy;  // positive: rows run bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;

  if (dc != nullptr) {
    *bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
  } else {
    ScopedGetDC screen(nullptr);
    if (screen) *bitmap = ::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
  }
  return *bitmap != nullptr ? S_OK : E_OUTOFMEMORY;
}

ScopedBitmap MakeMenuBitmap(HICON icon, SIZE size) {
  ScopedCreateDC memory(::CreateCompatibleDC(nullptr));
  if (!memory) return {};
  ScopedBitmap bitmap;
  if (FAILED(CreateBitmap32(memory.get(), size, bitmap.put()))) return {};
  ScopedSelectObject select(memory.get(), bitmap.get());
  if (select.selected()) {
    ::DrawIconEx(memory.get(), 0, 0, icon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
  }
  return bitmap;
}

}  // namespace scanmenu
