#include "scanmenu/menu/win32/context_menu_handler.h"

#include <shellapi.h>

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "common/application/win32/registry_settings_source.h"
#include "common/hresult/hresult.h"
#include "common/text/display_text.h"
#include "common/win32/string_resource.h"
#include "common/win32/wide.h"
#include "scanmenu/menu/drop_list.h"
#include "scanmenu/menu/menu_item.h"
#include "scanmenu/menu/scan_request.h"
#include "scanmenu/menu/win32/menu_bitmap.h"
#include "scanmenu/menu/win32/packaged_command.h"
#include "scanmenu/menu/win32/scan_platform.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/resources/resource_ids.h"

namespace scanmenu {
namespace {

static_assert(kDefaultOnlyFlag == CMF_DEFAULTONLY && kVerbsOnlyFlag == CMF_VERBSONLY);
static_assert(kHelpTextW == GCS_HELPTEXTW);
static_assert(sizeof(DROPFILES) == 20 && offsetof(DROPFILES, fWide) == 16);
static_assert(static_cast<HRESULT>(Outcome::kInvalidArgument) == E_INVALIDARG);
static_assert(static_cast<HRESULT>(Outcome::kNothingStarted) == S_FALSE);

// Owns the storage medium GetData filled.
class ScopedStorageMedium {
 public:
  ScopedStorageMedium() = default;
  ScopedStorageMedium(const ScopedStorageMedium&) = delete;
  ScopedStorageMedium& operator=(const ScopedStorageMedium&) = delete;
  ~ScopedStorageMedium() { Free(); }
  // For GetData's out-parameter: gives back the medium held, if any, and
  // returns the address the call fills; set_filled() once the call succeeded.
  STGMEDIUM* put() {
    Free();
    return &medium_;
  }
  void set_filled() { filled_ = true; }
  // The global memory block, or null when the medium is of another kind.
  HGLOBAL global() const { return medium_.tymed == TYMED_HGLOBAL ? medium_.hGlobal : nullptr; }

 private:
  void Free() {
    if (filled_) ::ReleaseStgMedium(&medium_);
    medium_ = {};
    filled_ = false;
  }

  STGMEDIUM medium_ = {};
  bool filled_ = false;
};

// Holds a global memory block locked.
class ScopedGlobalLock {
 public:
  explicit ScopedGlobalLock(HGLOBAL global) : global_(global), data_(::GlobalLock(global)) {}
  ScopedGlobalLock(const ScopedGlobalLock&) = delete;
  ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
  ~ScopedGlobalLock() {
    if (data_ != nullptr) ::GlobalUnlock(global_);
  }
  void* data() const { return data_; }

 private:
  HGLOBAL global_;
  void* data_;
};

// 8-bit drop lists are in the system's ANSI code page.
class Win32DropListPlatform final : public DropListPlatform {
 public:
  std::optional<std::u16string> FromAnsiCodePage(std::string_view path) override {
    if (path.empty() || path.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
      return std::nullopt;
    }
    const int length = static_cast<int>(path.size());
    const int units = ::MultiByteToWideChar(CP_ACP, 0, path.data(), length, nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::u16string converted(static_cast<std::size_t>(units), u'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, path.data(), length, win32::Wide(converted.data()), units) != units) {
      return std::nullopt;
    }
    return converted;
  }
};

}  // namespace

const InterfaceEntry* CVeltraneContextMenuHandler::GetEntries() {
  using Self = CVeltraneContextMenuHandler;
  static const InterfaceEntry kEntries[] = {
      {&IID_IShellExtInit, OffsetOfClass<IShellExtInit, Self>(), kSimpleEntry},
      {&IID_IContextMenu, OffsetOfClass<IContextMenu3, Self>(), kSimpleEntry},
      {&IID_IContextMenu2, OffsetOfClass<IContextMenu3, Self>(), kSimpleEntry},
      {&IID_IContextMenu3, OffsetOfClass<IContextMenu3, Self>(), kSimpleEntry},
      {nullptr, 0, 0},
  };
  return kEntries;
}

CVeltraneContextMenuHandler::CVeltraneContextMenuHandler()
    : m_iconSize{::GetSystemMetrics(SM_CXMENUCHECK), ::GetSystemMetrics(SM_CYMENUCHECK)},
      item_text_(text::DisplayText(win32::LoadStringResource(g_hInstance, IDS_MENU_ITEM), kMenuText)),
      help_text_(text::DisplayText(win32::LoadStringResource(g_hInstance, IDS_HELP_TEXT), kMenuText)),
      m_menuText(win32::Wide(item_text_)),
      m_menuTextLength(static_cast<int>(item_text_.size())) {
  m_hIcon.reset(static_cast<HICON>(::LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_SCAN_MENU), IMAGE_ICON, m_iconSize.cx,
                                                m_iconSize.cy, LR_LOADTRANSPARENT)));
  // Without an icon or a bitmap the item shows its text alone.
  m_hBitmap = MakeMenuBitmap(m_hIcon.get(), m_iconSize);
}

CVeltraneContextMenuHandler::~CVeltraneContextMenuHandler() = default;

// --- IShellExtInit --------------------------------------------------------

HRESULT CVeltraneContextMenuHandler::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  m_paths.FreePaths();
  if (data != nullptr) {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ScopedStorageMedium medium;
    if (SUCCEEDED(data->GetData(&format, medium.put()))) {
      medium.set_filled();
      // The block is read within the size it really has, whatever its
      // header claims.
      ScopedGlobalLock drop(medium.global());
      if (drop.data() != nullptr) {
        Win32DropListPlatform platform;
        CaptureDropList({static_cast<const std::byte*>(drop.data()), ::GlobalSize(medium.global())}, platform, m_paths);
      }
    }
  }
  return m_paths.empty() ? E_INVALIDARG : S_OK;
}

// --- IContextMenu ---------------------------------------------------------

HRESULT CVeltraneContextMenuHandler::QueryContextMenu(HMENU menu, UINT position, UINT first_id, UINT, UINT flags) {
  if (!ShouldAddMenuItem(flags)) return hresult::SuccessWithCount(0);
  // Windows 11 lists the packaged command under "Show more options" too:
  // the item would be there twice.
  if (ServedByPackagedCommand(m_paths, WindowsBuild(), SparsePackageRegisteredForUser)) {
    return hresult::SuccessWithCount(0);
  }

  MENUITEMINFOW item = {};
  item.cbSize = sizeof(item);
  item.wID = first_id;
  item.dwTypeData = const_cast<wchar_t*>(m_menuText);
  const unsigned major_version = LOBYTE(LOWORD(::GetVersion()));
  if (PictureForMajorVersion(major_version) == ItemPicture::kBitmap) {
    item.fMask = MIIM_BITMAP | MIIM_STRING | MIIM_ID;
    item.hbmpItem = m_hBitmap.get();
  } else {
    item.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_ID;
    item.fType = MFT_OWNERDRAW;
  }
  ::InsertMenuItemW(menu, position, TRUE, &item);
  // One command id used.
  return hresult::SuccessWithCount(1);
}

HRESULT CVeltraneContextMenuHandler::GetCommandString(UINT_PTR, UINT type, UINT*, CHAR* buffer, UINT units) {
  // For the UTF-16 types the buffer holds wide characters.
  return static_cast<HRESULT>(
      CopyHelpText(help_text_, m_paths.size(), type, reinterpret_cast<char16_t*>(buffer), units));
}

HRESULT CVeltraneContextMenuHandler::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (info == nullptr) return E_INVALIDARG;
  Win32ScanPlatform platform;
  const application::RegistrySettingsSource settings;
  return static_cast<HRESULT>(
      InvokeScanCommand(reinterpret_cast<std::uintptr_t>(info->lpVerb), m_paths, platform, settings));
}

// --- IContextMenu2 and IContextMenu3 ----------------------------------------

HRESULT CVeltraneContextMenuHandler::HandleMenuMsg(UINT message, WPARAM wparam, LPARAM lparam) {
  return HandleMenuMsg2(message, wparam, lparam, nullptr);
}

HRESULT CVeltraneContextMenuHandler::HandleMenuMsg2(UINT message, WPARAM, LPARAM lparam, LRESULT* result) {
  switch (message) {
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      if (measure == nullptr) break;
      const BOOL measured = MeasureItem(&measure->itemWidth, &measure->itemHeight);
      if (result != nullptr) *result = measured;
      break;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lparam);
      if (draw == nullptr) break;
      const BOOL drawn = DrawItem(draw->hDC, draw->rcItem, draw->itemState);
      if (result != nullptr) *result = drawn;
      break;
    }
    default:
      break;
  }
  return S_OK;
}

BOOL CVeltraneContextMenuHandler::MeasureItem(UINT* width, UINT* height) {
  LOGFONTW font_description = {};
  if (!::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font_description), &font_description, 0)) {
    return FALSE;
  }
  ScopedGetDC screen(nullptr);
  if (!screen) return FALSE;
  ScopedFont font(::CreateFontIndirectW(&font_description));
  if (!font) return FALSE;
  ScopedSelectObject select(screen.get(), font.get());

  SIZE text = {};
  if (!::GetTextExtentPoint32W(screen.get(), m_menuText, m_menuTextLength, &text)) return FALSE;
  const ItemSize size =
      MeasuredItemSize(text.cx, text.cy, ::GetSystemMetrics(SM_CXMENUCHECK), ::GetSystemMetrics(SM_CYMENUSIZE));
  *width = static_cast<UINT>(size.width);
  *height = static_cast<UINT>(size.height);
  return TRUE;
}

BOOL CVeltraneContextMenuHandler::DrawItem(HDC dc, RECT item, UINT state) {
  const bool selected = (state & ODS_SELECTED) != 0;
  HBRUSH background = ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
  ::FillRect(dc, &item, background);

  SIZE text = {};
  // The text is measured in the font the menu put into the device context.
  ::SetBkMode(dc, TRANSPARENT);
  ::GetTextExtentPoint32W(dc, m_menuText, m_menuTextLength, &text);
  const ItemLayout layout = LayoutItem({item.left, item.top, item.right, item.bottom},
                                       ::GetSystemMetrics(SM_CXMENUCHECK), ::GetSystemMetrics(SM_CXEDGE), text.cy);

  ::DrawIconEx(dc, layout.icon_x, layout.icon_y, m_hIcon.get(), 0, 0, 0, background, DI_NORMAL);

  ScopedTextColor color(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  const UINT flags = (state & ODS_NOACCEL) != 0 ? DST_PREFIXTEXT | DSS_HIDEPREFIX : DST_PREFIXTEXT;
  ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(m_menuText), m_menuTextLength, layout.text_x,
               layout.text_y, text.cx, text.cy, flags);
  return TRUE;
}

}  // namespace scanmenu
