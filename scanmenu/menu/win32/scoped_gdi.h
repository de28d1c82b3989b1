// Owners for the GDI and user objects the menu item uses: each gives back
// what it holds when it goes out of scope.
#pragma once

#include <windows.h>

#include "common/win32/scoped_handle.h"

namespace scanmenu {

using ScopedBitmap = win32::ScopedResource<HBITMAP, ::DeleteObject>;
using ScopedFont = win32::ScopedResource<HFONT, ::DeleteObject>;
using ScopedIcon = win32::ScopedResource<HICON, ::DestroyIcon>;
// A device context made with CreateCompatibleDC.
using ScopedCreateDC = win32::ScopedResource<HDC, ::DeleteDC>;

// A window's device context from GetDC, given back with ReleaseDC.
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;
  ~ScopedGetDC() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a device context and selects the previous one back.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
  ~ScopedSelectObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  bool selected() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Sets a text colour and puts the previous one back.
class ScopedTextColor {
 public:
  ScopedTextColor(HDC dc, COLORREF color) : dc_(dc), previous_(::SetTextColor(dc, color)) {}
  ScopedTextColor(const ScopedTextColor&) = delete;
  ScopedTextColor& operator=(const ScopedTextColor&) = delete;
  ~ScopedTextColor() { ::SetTextColor(dc_, previous_); }

 private:
  HDC dc_;
  COLORREF previous_;
};

}  // namespace scanmenu
