// Scanmenu.dll driven the way the shell drives it: created by class id in a
// single-threaded apartment, handed a real drop list, asked for its menu item,
// measured and painted, invoked, released, and unloadable again.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "scanmenu/e2e/com_apartment.h"
#include "scanmenu/e2e/shell_host.h"
#include "scanmenu_idl.h"
#include "support/win32/stand_in_scanner.h"
#include "support/win32/version_resource.h"

namespace {

using shell_host::CallDllCanUnloadNow;
using shell_host::CreateHandler;
using shell_host::InvokeItem;
using shell_host::NewDropDataObject;

constexpr wchar_t kMenuText[] = L"Scan with Quenor Clean";
constexpr DWORD kLogWaitMs = 20000;
constexpr DWORD kNothingStartedWaitMs = 1500;

::testing::Environment* const kApartment = ::testing::AddGlobalTestEnvironment(new shell_host::ComApartment);

using Microsoft::WRL::ComPtr;

template <typename T>
ComPtr<T> Query(IUnknown* object, REFIID iid) {
  ComPtr<T> out;
  if (object != nullptr) object->QueryInterface(iid, reinterpret_cast<void**>(out.GetAddressOf()));
  return out;
}

// A handler initialised with `paths`.
ComPtr<IShellExtInit> HandlerFor(const std::vector<std::wstring>& paths, HRESULT expected = S_OK) {
  HRESULT created = E_FAIL;
  ComPtr<IShellExtInit> handler(CreateHandler(&created));
  EXPECT_EQ(created, S_OK);
  if (!handler) return nullptr;
  ComPtr<IDataObject> data(NewDropDataObject(paths));
  EXPECT_EQ(handler->Initialize(nullptr, data.Get(), nullptr), expected);
  return handler;
}

std::wstring ItemText(HMENU menu, UINT position) {
  wchar_t text[100] = {};
  MENUITEMINFOW item = {};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_STRING;
  item.dwTypeData = text;
  item.cch = 100;
  if (!::GetMenuItemInfoW(menu, position, TRUE, &item)) return {};
  return text;
}

std::wstring Utf16Le(const std::string& bytes) {
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

class ShellHostTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every handler and class object is released: the DLL may go.
    EXPECT_EQ(CallDllCanUnloadNow(), S_OK);
  }
};

// --- creation, selection and identity ------------------------------------

TEST_F(ShellHostTest, InitializeTakesFilesAndDirectoriesAndRefusesWhatHoldsNoDropList) {
  shell_host::TempFolder folder(L"Scan Menu Selection");
  const std::wstring file = folder.AddFile(L"a file.txt");
  const std::wstring directory = folder.AddFolder(L"a directory");
  ComPtr<IShellExtInit> handler = HandlerFor({file, directory});
  ASSERT_TRUE(handler);
  ASSERT_TRUE(handler);
  EXPECT_EQ(handler->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
  ComPtr<IDataObject> nothing(NewDropDataObject({file}, false));
  EXPECT_EQ(handler->Initialize(nullptr, nothing.Get(), nullptr), E_INVALIDARG);
  ComPtr<IDataObject> empty(NewDropDataObject({}));
  EXPECT_EQ(handler->Initialize(nullptr, empty.Get(), nullptr), E_INVALIDARG);
  // The refused selection leaves nothing to ask about.
  ComPtr<IContextMenu> menu = Query<IContextMenu>(handler.Get(), IID_IContextMenu);
  wchar_t text[100];
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(text), 100), E_INVALIDARG);
}

// A block as a hostile host may hand it over: `block` with pFiles set to `offset`.
std::string WithOffset(std::string block, DWORD offset) {
  std::memcpy(block.data(), &offset, sizeof(offset));
  return block;
}

TEST_F(ShellHostTest, InitializeRefusesABlockWithoutASoundDropListAndTheHostLives) {
  const std::string wide = shell_host::DropBlock({L"C:\\windows"});
  const std::string narrow = shell_host::DropBlock({L"C:\\windows"}, false);
  const auto end = static_cast<DWORD>(wide.size());
  // Empty; shorter than the header; paths inside the header, at an odd offset,
  // past the end (near and far), at the very end; a path the end cuts off.
  const std::string malformed[] = {"",
                                   wide.substr(0, 12),
                                   WithOffset(wide, 4),
                                   WithOffset(wide, 21),
                                   WithOffset(wide, end + 2),
                                   WithOffset(wide, 0x7FFFFFF0),
                                   WithOffset(narrow, 0x7FFFFFF0),
                                   WithOffset(wide, end),
                                   wide.substr(0, wide.size() - 4),
                                   narrow.substr(0, narrow.size() - 2)};
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  for (const std::string& block : malformed) {
    ComPtr<IDataObject> data(shell_host::NewRawDropDataObject(block));
    EXPECT_EQ(handler->Initialize(nullptr, data.Get(), nullptr), E_INVALIDARG) << &block - malformed;
  }
  ComPtr<IDataObject> sound(shell_host::NewRawDropDataObject(narrow));
  EXPECT_EQ(handler->Initialize(nullptr, sound.Get(), nullptr), S_OK);
}

TEST_F(ShellHostTest, TheHandlerAnswersItsShellInterfacesButNotItsDualOne) {
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  ASSERT_TRUE(handler);
  ComPtr<IUnknown> identity = Query<IUnknown>(handler.Get(), IID_IUnknown);
  EXPECT_EQ(static_cast<void*>(identity.Get()), static_cast<void*>(handler.Get()));
  ComPtr<IContextMenu> menu = Query<IContextMenu>(handler.Get(), IID_IContextMenu);
  ComPtr<IContextMenu2> menu2 = Query<IContextMenu2>(handler.Get(), IID_IContextMenu2);
  ComPtr<IContextMenu3> menu3 = Query<IContextMenu3>(handler.Get(), IID_IContextMenu3);
  ASSERT_TRUE(menu && menu2 && menu3);
  EXPECT_EQ(static_cast<void*>(menu.Get()), static_cast<void*>(menu3.Get()));
  for (const IID* refused : {&IID_IDispatch, &IID_IVeltraneContextMenuHandler}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(handler->QueryInterface(*refused, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
}

// --- the class object and the lock count -----------------------------------

TEST_F(ShellHostTest, TheClassObjectIsCachedAndHoldsTheModuleOnlyWhileAClientHoldsIt) {
  ComPtr<IShellExtInit> loaded = HandlerFor({L"C:\\"});  // makes sure the DLL is loaded
  loaded.Reset();
  ASSERT_EQ(CallDllCanUnloadNow(), S_OK);

  ComPtr<IClassFactory> first;
  ComPtr<IClassFactory> second;
  ASSERT_EQ(shell_host::CallDllGetClassObject(CLSID_VeltraneContextMenuHandler, IID_IClassFactory,
                                              reinterpret_cast<void**>(first.GetAddressOf())),
            S_OK);
  ASSERT_EQ(shell_host::CallDllGetClassObject(CLSID_VeltraneContextMenuHandler, IID_IClassFactory,
                                              reinterpret_cast<void**>(second.GetAddressOf())),
            S_OK);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE);
  IClassFactory* const cached = second.Get();
  second.Reset();
  first.Reset();
  EXPECT_EQ(CallDllCanUnloadNow(), S_OK);

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(shell_host::CallDllGetClassObject(CLSID_VeltraneContextMenuHandler, IID_IShellExtInit, &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(shell_host::CallDllGetClassObject(IID_IShellExtInit, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);

  ASSERT_EQ(shell_host::CallDllGetClassObject(CLSID_VeltraneContextMenuHandler, IID_IClassFactory,
                                              reinterpret_cast<void**>(first.GetAddressOf())),
            S_OK);
  EXPECT_EQ(first.Get(), cached);  // the same cached object after the refused query
  first->LockServer(TRUE);
  IClassFactory* const locked = first.Get();
  first.Reset();
  EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE);
  locked->LockServer(FALSE);  // the cache's own reference keeps it alive
  EXPECT_EQ(CallDllCanUnloadNow(), S_OK);

  // A living handler holds the module too.
  ComPtr<IShellExtInit> handler(CreateHandler());
  EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE);
}

// An outer object that counts the references that reach it.
class Outer final : public IUnknown {
 public:
  ULONG refs() const { return refs_; }
  // The aggregate's non-delegating unknown, which answers every other id.
  void set_inner(IUnknown* inner) { inner_ = inner; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    if (inner_ != nullptr) return inner_->QueryInterface(iid, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

 private:
  ULONG refs_ = 1;
  IUnknown* inner_ = nullptr;
};

TEST_F(ShellHostTest, AnAggregatedHandlerSendsItsReferencesToTheOuterObject) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(shell_host::CallDllGetClassObject(CLSID_VeltraneContextMenuHandler, IID_IClassFactory,
                                              reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  Outer outer;
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &refused), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);
  ComPtr<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(inner.GetAddressOf())), S_OK);
  factory.Reset();
  outer.set_inner(inner.Get());

  ComPtr<IContextMenu> menu;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(menu.GetAddressOf())), S_OK);
  EXPECT_EQ(outer.refs(), 2u);
  ComPtr<IContextMenu> copy = menu;  // AddRef
  EXPECT_EQ(outer.refs(), 3u);
  copy.Reset();
  menu.Reset();
  EXPECT_EQ(outer.refs(), 1u);
  for (const IID* iid : {&IID_IDispatch, &IID_IVeltraneContextMenuHandler}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(inner->QueryInterface(*iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(inner.Reset(), 0u);
}

// --- the menu item ---------------------------------------------------------

TEST_F(ShellHostTest, QueryContextMenuAddsOneItemWithTextIdAndBitmap) {
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  ComPtr<IContextMenu> menu = Query<IContextMenu>(handler.Get(), IID_IContextMenu);
  HMENU popup = ::CreatePopupMenu();
  ::AppendMenuW(popup, MF_STRING, 1, L"Before");
  ::AppendMenuW(popup, MF_STRING, 2, L"After");

  EXPECT_EQ(menu->QueryContextMenu(popup, 1, 100, 0x7FFF, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
  ASSERT_EQ(::GetMenuItemCount(popup), 3);
  EXPECT_EQ(ItemText(popup, 1), kMenuText);
  EXPECT_EQ(::GetMenuItemID(popup, 1), 100u);

  MENUITEMINFOW item = {};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_BITMAP | MIIM_FTYPE | MIIM_SUBMENU | MIIM_STATE;
  ASSERT_TRUE(::GetMenuItemInfoW(popup, 1, TRUE, &item));
  EXPECT_EQ(item.hSubMenu, nullptr);
  EXPECT_EQ(item.fType & (MFT_SEPARATOR | MFT_OWNERDRAW), 0u);
  ASSERT_NE(item.hbmpItem, nullptr);
  DIBSECTION dib = {};
  ASSERT_EQ(::GetObjectW(item.hbmpItem, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
  EXPECT_EQ(dib.dsBm.bmWidth, ::GetSystemMetrics(SM_CXMENUCHECK));
  EXPECT_EQ(dib.dsBm.bmHeight, ::GetSystemMetrics(SM_CYMENUCHECK));
  EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);
  EXPECT_GT(dib.dsBmih.biHeight, 0);  // bottom-up
  // The icon was drawn into it: some pixels are not blank.
  const auto* pixels = static_cast<const DWORD*>(dib.dsBm.bmBits);
  int drawn = 0;
  for (int i = 0; i < dib.dsBm.bmWidth * dib.dsBm.bmHeight; ++i) drawn += (pixels[i] & 0x00FFFFFF) != 0;
  EXPECT_GT(drawn, dib.dsBm.bmWidth * dib.dsBm.bmHeight / 4);
  ::DestroyMenu(popup);
}

TEST_F(ShellHostTest, QueryContextMenuLeavesTheMenuAloneForDefaultOnlyAndExactlyVerbsOnly) {
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  ComPtr<IContextMenu> menu = Query<IContextMenu>(handler.Get(), IID_IContextMenu);
  HMENU popup = ::CreatePopupMenu();
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_DEFAULTONLY), S_OK);
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_DEFAULTONLY | CMF_EXPLORE), S_OK);
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_VERBSONLY), S_OK);
  EXPECT_EQ(::GetMenuItemCount(popup), 0);
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 7, 100, CMF_VERBSONLY | CMF_EXPLORE), MAKE_HRESULT(0, 0, 1));
  EXPECT_EQ(::GetMenuItemCount(popup), 1);
  EXPECT_EQ(::GetMenuItemID(popup, 0), 7u);
  ::DestroyMenu(popup);
}

TEST_F(ShellHostTest, GetCommandStringGivesTheHelpTextAndRefusesEverythingElse) {
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  ComPtr<IContextMenu> menu = Query<IContextMenu>(handler.Get(), IID_IContextMenu);
  wchar_t text[100];
  ASSERT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(text), 100), S_OK);
  EXPECT_STREQ(text, kMenuText);
  wmemset(text, L'#', 100);
  ASSERT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(text), 5), S_OK);
  EXPECT_STREQ(text, L"Scan");
  EXPECT_EQ(text[5], L'#');
  for (const UINT type : {GCS_VERBA, GCS_HELPTEXTA, GCS_VALIDATEA, GCS_VERBW, GCS_VALIDATEW}) {
    EXPECT_EQ(menu->GetCommandString(0, type, nullptr, reinterpret_cast<char*>(text), 100), E_INVALIDARG);
  }
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, nullptr, 100), E_INVALIDARG);
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(text), 0), E_INVALIDARG);
}

// A 32-bit memory device context to paint into, and its pixels.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, so row y is y
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    previous_ = ::SelectObject(dc_, bitmap_);
    font_previous_ = ::SelectObject(dc_, ::GetStockObject(DEFAULT_GUI_FONT));
  }
  ~Canvas() {
    ::SelectObject(dc_, font_previous_);
    ::SelectObject(dc_, previous_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    const DWORD pixel = bits_[y * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }
  int Count(int left, int top, int right, int bottom, COLORREF color) const {
    int count = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) count += At(x, y) == color;
    return count;
  }

 private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  DWORD* bits_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  HGDIOBJ font_previous_ = nullptr;
};

TEST_F(ShellHostTest, MeasureItemSizesTheTextInTheIconTitleFontPlusTheIconSlot) {
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  ComPtr<IContextMenu3> menu = Query<IContextMenu3>(handler.Get(), IID_IContextMenu3);

  LOGFONTW description = {};
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(description), &description, 0));
  HDC screen = ::GetDC(nullptr);
  HFONT font = ::CreateFontIndirectW(&description);
  HGDIOBJ previous = ::SelectObject(screen, font);
  SIZE text = {};
  ::GetTextExtentPoint32W(screen, kMenuText, 22, &text);
  ::SelectObject(screen, previous);
  ::DeleteObject(font);
  ::ReleaseDC(nullptr, screen);
  const int check = ::GetSystemMetrics(SM_CXMENUCHECK);

  MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 100, 0, 0, 0};
  LRESULT result = -1;
  ASSERT_EQ(menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), &result), S_OK);
  EXPECT_EQ(result, TRUE);
  EXPECT_EQ(static_cast<int>(measure.itemWidth), text.cx + check);
  EXPECT_EQ(static_cast<int>(measure.itemHeight),
            std::max({static_cast<int>(text.cy), check, ::GetSystemMetrics(SM_CYMENUSIZE)}));

  // Through IContextMenu2, without a result pointer.
  MEASUREITEMSTRUCT again = {ODT_MENU, 0, 100, 0, 0, 0};
  EXPECT_EQ(menu->HandleMenuMsg(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&again)), S_OK);
  EXPECT_EQ(again.itemWidth, measure.itemWidth);

  // A null structure and other messages do nothing and leave the result alone.
  result = 12345;
  EXPECT_EQ(menu->HandleMenuMsg2(WM_MEASUREITEM, 0, 0, &result), S_OK);
  EXPECT_EQ(menu->HandleMenuMsg2(WM_INITMENUPOPUP, 0, 0, &result), S_OK);
  EXPECT_EQ(menu->HandleMenuMsg2(WM_MENUCHAR, 0, 0, &result), S_OK);
  EXPECT_EQ(result, 12345);
}

TEST_F(ShellHostTest, DrawItemPaintsBackgroundIconAndTextInTheMenuColours) {
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  ComPtr<IContextMenu3> menu = Query<IContextMenu3>(handler.Get(), IID_IContextMenu3);
  const int check = ::GetSystemMetrics(SM_CXMENUCHECK);
  const int edge = ::GetSystemMetrics(SM_CXEDGE);
  const int text_left = check + 2 * edge;

  for (const bool selected : {false, true}) {
    SCOPED_TRACE(selected ? "selected" : "not selected");
    Canvas canvas(200, 24);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.itemID = 100;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = selected ? ODS_SELECTED : 0;
    draw.hDC = canvas.dc();
    draw.rcItem = {0, 0, 200, 24};
    LRESULT result = -1;
    ASSERT_EQ(menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw), &result), S_OK);
    EXPECT_EQ(result, TRUE);

    const COLORREF background = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
    const COLORREF foreground = ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    EXPECT_EQ(canvas.At(199, 0), background);
    EXPECT_EQ(canvas.At(0, 23), background);
    // Nothing left of the icon; the icon inside its slot; text after it.
    EXPECT_EQ(canvas.Count(0, 0, edge, 24, background), edge * 24);
    const int icon_top = (24 - check) / 2;
    EXPECT_GT(check * check - canvas.Count(edge, icon_top, edge + check, icon_top + check, background),
              check * check / 4);
    EXPECT_GT(canvas.Count(text_left, 0, 200, 24, foreground), 20);
    // No text colour left of the icon or between icon and text.
    EXPECT_EQ(canvas.Count(0, 0, edge, 24, foreground), 0);
    EXPECT_EQ(canvas.Count(edge + check, 0, text_left, 24, foreground), 0);
  }
}

// --- the scan request ------------------------------------------------------

class ScanRequestTest : public ShellHostTest {
 protected:
  void SetUp() override { ASSERT_TRUE(scanner_.ok()); }

  std::vector<std::wstring> WaitForOneStart() {
    const std::vector<std::wstring> log = scanner_.WaitForLog(1, kLogWaitMs);
    EXPECT_EQ(log.size(), 1u);
    return log;
  }
  void ExpectNothingStarted() {
    ::Sleep(kNothingStartedWaitMs);
    EXPECT_TRUE(scanner_.Log().empty());
  }
  // Chooses the item for one selected drive, then for two items: each
  // request returns `expected`.
  void InvokeForOneAndForTwo(HRESULT expected) {
    ComPtr<IShellExtInit> one = HandlerFor({L"C:\\"});
    ASSERT_TRUE(one);
    EXPECT_EQ(InvokeItem(one.Get()), expected);
    ComPtr<IShellExtInit> two = HandlerFor({L"C:\\", L"C:\\windows"});
    ASSERT_TRUE(two);
    EXPECT_EQ(InvokeItem(two.Get()), expected);
  }
  // The parameters after the scanner's own quoted path.
  static std::wstring Parameters(const std::wstring& line) {
    const std::size_t close = line.find(L'"', 1);
    if (line.empty() || line[0] != L'"' || close == std::wstring::npos) return line;
    std::size_t start = close + 1;
    while (start < line.size() && line[start] == L' ') ++start;
    return line.substr(start);
  }

  test_support::StandInScanner scanner_{test_support::kScanmenuApplicationSubkey};
};

TEST_F(ScanRequestTest, OneFileWithBlanksGoesOnTheCommandLineInQuotes) {
  shell_host::TempFolder folder(L"Scan Menu One");
  const std::wstring file = folder.AddFile(L"my report.txt");
  ComPtr<IShellExtInit> handler = HandlerFor({file});
  ASSERT_TRUE(handler);
  EXPECT_EQ(InvokeItem(handler.Get()), S_OK);
  const std::vector<std::wstring> log = WaitForOneStart();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].substr(0, scanner_.path().size() + 2), L"\"" + scanner_.path() + L"\"");
  EXPECT_EQ(Parameters(log[0]), L"/scan \"" + file + L"\"");
  // The request used the selection up.
  EXPECT_EQ(InvokeItem(handler.Get()), E_INVALIDARG);
}

TEST_F(ScanRequestTest, ADriveRootKeepsItsTrailingBackslash) {
  // The handler the shell finds for a drive: the class named under Drive.
  wchar_t class_id[64] = {};
  DWORD size = sizeof class_id;
  ASSERT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT, L"Drive\\shellex\\ContextMenuHandlers\\QuenorClean", nullptr,
                           RRF_RT_REG_SZ, nullptr, class_id, &size),
            ERROR_SUCCESS);
  CLSID clsid = {};
  ASSERT_EQ(::CLSIDFromString(class_id, &clsid), S_OK);
  ComPtr<IShellExtInit> handler;
  ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                               reinterpret_cast<void**>(handler.GetAddressOf())),
            S_OK);
  ComPtr<IDataObject> data(NewDropDataObject({L"C:\\"}));
  ASSERT_EQ(handler->Initialize(nullptr, data.Get(), nullptr), S_OK);
  EXPECT_EQ(InvokeItem(handler.Get()), S_OK);
  const std::vector<std::wstring> log = WaitForOneStart();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(Parameters(log[0]), L"/scan \"C:\\\"");
}

TEST_F(ScanRequestTest, APathLongerThanTheOldBuffersIsPassedWhole) {
  // Longer than the 280-unit parameter buffer and than a 2048-unit path buffer.
  for (const std::size_t length : {600u, 3000u}) {
    scanner_.ClearLog();
    const std::wstring path = L"C:\\" + std::wstring(length, L'n') + L"\\file.txt";
    ComPtr<IShellExtInit> handler = HandlerFor({path});
    ASSERT_TRUE(handler);
    EXPECT_EQ(InvokeItem(handler.Get()), S_OK);
    const std::vector<std::wstring> log = WaitForOneStart();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(Parameters(log[0]), L"/scan \"" + path + L"\"");
  }
}

TEST_F(ScanRequestTest, SeveralItemsGoThroughTheListFileWhichALaterRequestReplaces) {
  shell_host::TempFolder folder(L"Scan Menu Several");
  const std::wstring a = folder.AddFile(L"first file.txt");
  const std::wstring b = folder.AddFolder(L"second folder");
  const std::wstring c = folder.AddFile(L"third \u00e9l\u00e8ve.txt");
  const std::wstring list = shell_host::TempDirectory() + L"quenorclean.filelist";

  ComPtr<IShellExtInit> handler = HandlerFor({a, b, c});
  ASSERT_TRUE(handler);
  EXPECT_EQ(InvokeItem(handler.Get()), S_OK);
  std::vector<std::wstring> log = WaitForOneStart();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(Parameters(log[0]), L"/scan /filelist=\"" + list + L"\"");
  std::string bytes = shell_host::ReadFileBytes(list);
  EXPECT_EQ(Utf16Le(bytes), a + L"\r\n" + b + L"\r\n" + c + L"\r\n");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE"));  // no byte-order mark

  scanner_.ClearLog();
  ComPtr<IShellExtInit> fewer = HandlerFor({c, a});
  ASSERT_TRUE(fewer);
  EXPECT_EQ(InvokeItem(fewer.Get()), S_OK);
  log = WaitForOneStart();
  EXPECT_EQ(Utf16Le(shell_host::ReadFileBytes(list)), c + L"\r\n" + a + L"\r\n");
}

TEST_F(ScanRequestTest, AnEightBitDropListIsReadThroughThePlatform) {
  shell_host::TempFolder folder(L"Scan Menu Narrow");
  const std::wstring a = folder.AddFile(L"narrow one.txt");
  const std::wstring b = folder.AddFolder(L"narrow two");
  HRESULT created = E_FAIL;
  ComPtr<IShellExtInit> handler(CreateHandler(&created));
  ASSERT_TRUE(handler);
  ComPtr<IDataObject> data(NewDropDataObject({a, b}, true, false));
  ASSERT_EQ(handler->Initialize(nullptr, data.Get(), nullptr), S_OK);
  EXPECT_EQ(InvokeItem(handler.Get()), S_OK);
  WaitForOneStart();
  EXPECT_EQ(Utf16Le(shell_host::ReadFileBytes(shell_host::TempDirectory() + L"quenorclean.filelist")),
            a + L"\r\n" + b + L"\r\n");
}

TEST_F(ScanRequestTest, WithoutTheUninstallEntryNothingStarts) {
  ASSERT_TRUE(scanner_.Unregister());
  InvokeForOneAndForTwo(S_FALSE);
  ExpectNothingStarted();
}

TEST_F(ScanRequestTest, AnUninstallStringWithoutLeadingQuoteNamesNoApplication) {
  ASSERT_TRUE(scanner_.SetUninstallString(scanner_.path() + L" /uninstall"));
  ComPtr<IShellExtInit> one = HandlerFor({L"C:\\"});
  ASSERT_TRUE(one);
  EXPECT_EQ(InvokeItem(one.Get()), S_FALSE);
  ExpectNothingStarted();
}

// Closes, and counts, every dialog this process shows while it lives.
class DialogWatch {
 public:
  DialogWatch() : thread_([this] { Run(); }) {}
  ~DialogWatch() {
    stop_ = true;
    thread_.join();
  }
  int seen() const { return seen_; }

 private:
  void Run() {
    while (!stop_) {
      HWND dialog = nullptr;
      while ((dialog = ::FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr) {
        DWORD process_id = 0;
        ::GetWindowThreadProcessId(dialog, &process_id);
        if (process_id != ::GetCurrentProcessId() || !::IsWindowVisible(dialog)) continue;
        ++seen_;
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      }
      ::Sleep(50);
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> seen_{0};
  std::thread thread_;
};

TEST_F(ScanRequestTest, AStaleApplicationPathFailsWithoutAnErrorBoxFromTheShell) {
  ASSERT_TRUE(scanner_.SetUninstallString(L"\"C:\\nowhere\\scanner.exe\" /uninstall"));
  DialogWatch watch;
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  EXPECT_EQ(InvokeItem(handler.Get()), S_FALSE);
  EXPECT_EQ(watch.seen(), 0);
}

// --- the Windows 11 command --------------------------------------------------

// The selection as Explorer hands it to a command: shell items parsed from names.
ComPtr<IShellItemArray> ItemsFor(const std::vector<std::wstring>& names) {
  std::vector<PIDLIST_ABSOLUTE> lists;
  for (const std::wstring& name : names) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (SUCCEEDED(::SHParseDisplayName(name.c_str(), nullptr, &list, 0, nullptr))) lists.push_back(list);
  }
  ComPtr<IShellItemArray> items;
  if (lists.size() == names.size() &&
      FAILED(::SHCreateShellItemArrayFromIDLists(
          static_cast<UINT>(lists.size()), const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()), items.GetAddressOf()))) {
    items.Reset();
  }
  for (PIDLIST_ABSOLUTE list : lists) ::CoTaskMemFree(list);
  return items;
}

std::wstring TakeText(LPWSTR text) {
  std::wstring copy = text != nullptr ? text : L"<none>";
  ::CoTaskMemFree(text);
  return copy;
}

TEST_F(ScanRequestTest, TheWindows11CommandScansFileSystemItemsAndIsHiddenForOthers) {
  CLSID clsid = {};
  ASSERT_EQ(::CLSIDFromString(L"{C6B0F1D4-8E27-4A93-B5D8-3F61E2A90C7B}", &clsid), S_OK);
  ComPtr<IExplorerCommand> command;
  ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand,
                               reinterpret_cast<void**>(command.GetAddressOf())),
            S_OK);
  EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE) << "the command holds the module";

  LPWSTR text = nullptr;
  EXPECT_EQ(command->GetTitle(nullptr, &text), S_OK);
  EXPECT_EQ(TakeText(text), kMenuText);
  text = nullptr;
  EXPECT_EQ(command->GetIcon(nullptr, &text), S_OK);
  EXPECT_EQ(TakeText(text), test_support::SiblingPath(L"Scanmenu.dll") + L",-100");

  shell_host::TempFolder folder(L"Scan Menu Command");
  const std::wstring file = folder.AddFile(L"one file.txt");
  const std::wstring other = folder.AddFile(L"two.txt");
  const std::wstring directory = folder.AddFolder(L"three");
  const std::wstring list = shell_host::TempDirectory() + L"quenorclean.filelist";
  struct Case {
    std::vector<std::wstring> items;
    std::wstring parameters;
  } const cases[] = {
      {{file}, L"/scan \"" + file + L"\""},
      {{file, other, directory}, L"/scan /filelist=\"" + list + L"\""},
      {{L"C:\\"}, L"/scan \"C:\\\""},
  };
  for (const Case& c : cases) {
    scanner_.ClearLog();
    ComPtr<IShellItemArray> items = ItemsFor(c.items);
    ASSERT_TRUE(items);
    EXPCMDSTATE state = ECS_HIDDEN;
    EXPECT_EQ(command->GetState(items.Get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_ENABLED));
    EXPECT_EQ(command->Invoke(items.Get(), nullptr), S_OK);
    const std::vector<std::wstring> log = WaitForOneStart();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(Parameters(log[0]), c.parameters);
  }
  EXPECT_EQ(Utf16Le(shell_host::ReadFileBytes(list)), file + L"\r\n" + other + L"\r\n" + directory + L"\r\n");

  // This PC has no file-system path: the command is hidden for it alone and
  // beside a file, and invoked anyway it starts nothing.
  scanner_.ClearLog();
  const std::wstring this_pc = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
  for (const std::vector<std::wstring>& names : {std::vector<std::wstring>{this_pc}, {file, this_pc}}) {
    ComPtr<IShellItemArray> items = ItemsFor(names);
    ASSERT_TRUE(items);
    EXPCMDSTATE state = ECS_ENABLED;
    EXPECT_EQ(command->GetState(items.Get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_HIDDEN)) << names.size() << " item(s)";
  }
  ComPtr<IShellItemArray> virtual_only = ItemsFor({this_pc});
  EXPECT_EQ(command->Invoke(virtual_only.Get(), nullptr), E_INVALIDARG);
  ExpectNothingStarted();
  command.Reset();
  EXPECT_EQ(CallDllCanUnloadNow(), S_OK);
}

TEST_F(ScanRequestTest, AStringVerbIsRefusedAndTheSelectionKeptForTheItem) {
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\"});
  ASSERT_TRUE(handler);
  EXPECT_EQ(shell_host::InvokeVerb(handler.Get(), "open"), E_INVALIDARG);
  EXPECT_EQ(shell_host::InvokeVerb(handler.Get(), MAKEINTRESOURCEA(1)), E_INVALIDARG);
  EXPECT_EQ(InvokeItem(handler.Get()), S_OK);
  WaitForOneStart();
  EXPECT_EQ(InvokeItem(handler.Get()), E_INVALIDARG);
}

// Sets TMP and TEMP for the process and puts them back afterwards.
class TemporaryDirectoryOverride {
 public:
  explicit TemporaryDirectoryOverride(const std::wstring& folder) {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[MAX_PATH * 2] = {};
      const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
      saved_.push_back(length == 0 ? std::wstring() : std::wstring(value, length));
      ::SetEnvironmentVariableW(name, folder.c_str());
    }
  }
  ~TemporaryDirectoryOverride() {
    ::SetEnvironmentVariableW(L"TMP", saved_[0].empty() ? nullptr : saved_[0].c_str());
    ::SetEnvironmentVariableW(L"TEMP", saved_[1].empty() ? nullptr : saved_[1].c_str());
  }

 private:
  std::vector<std::wstring> saved_;
};

TEST_F(ScanRequestTest, ATemporaryDirectoryTooLongForTheListNameFailsAndWritesNothing) {
  shell_host::TempFolder folder(L"Scan Menu Long Temp");
  // Nested folders until the path is 245 units: with the backslash and the
  // 20 units of the name it no longer fits in 260.
  std::wstring deep = folder.path();
  while (deep.size() < 245) {
    deep += L"\\" + std::wstring(std::min<std::size_t>(40, 244 - deep.size()), L'd');
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  }
  ASSERT_EQ(deep.size(), 245u);
  {
    TemporaryDirectoryOverride temp(deep);
    ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\", L"C:\\windows"});
    ASSERT_TRUE(handler);
    EXPECT_EQ(InvokeItem(handler.Get()), E_INVALIDARG);
    // The selection is used up all the same.
    EXPECT_EQ(InvokeItem(handler.Get()), E_INVALIDARG);
  }
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((deep + L"\\*.filelist").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
  ExpectNothingStarted();
}

// An elevated application's event refuses Explorer, of lower integrity; the
// application runs all the same. Here the event's DACL refuses everyone.
TEST_F(ScanRequestTest, WhileTheApplicationRunsEvenBehindARefusingEventNothingStartsAndNoListIsWritten) {
  for (const bool refusing : {false, true}) {
    std::unique_ptr<test_support::PresenceEventHolder> running =
        test_support::StandInScanner::HoldPresenceEvent(test_support::kScanmenuPresenceEvent, refusing);
    ASSERT_TRUE(running && running->ok());
    shell_host::TempFolder folder(L"Scan Menu Running");
    TemporaryDirectoryOverride temp(folder.path());
    InvokeForOneAndForTwo(S_OK);
    EXPECT_EQ(::GetFileAttributesW((folder.path() + L"\\quenorclean.filelist").c_str()), INVALID_FILE_ATTRIBUTES);
    ExpectNothingStarted();
  }
}

// Another program of the user puts a second name of some file of its choice
// at the list's name: the request refuses it and writes nothing through it.
TEST_F(ScanRequestTest, AListNameThatIsASecondNameOfAnotherFileIsRefused) {
  shell_host::TempFolder folder(L"Scan Menu Linked");
  const std::wstring target = folder.AddFile(L"target.txt");
  const std::string before = shell_host::ReadFileBytes(target);
  ASSERT_TRUE(::CreateHardLinkW((folder.path() + L"\\quenorclean.filelist").c_str(), target.c_str(), nullptr));
  TemporaryDirectoryOverride temp(folder.path());
  ComPtr<IShellExtInit> handler = HandlerFor({L"C:\\", L"C:\\windows"});
  ASSERT_TRUE(handler);
  EXPECT_EQ(InvokeItem(handler.Get()), E_INVALIDARG);
  EXPECT_EQ(shell_host::ReadFileBytes(target), before);
  ExpectNothingStarted();
}

TEST_F(ScanRequestTest, TenThousandFilesAreHandedOverInTheList) {
  shell_host::TempFolder folder(L"Scan Menu Ten Thousand");
  std::vector<std::wstring> paths;
  std::wstring expected;
  for (int i = 0; i < 10000; ++i) {
    paths.push_back(folder.AddFile(L"file " + std::to_wstring(i) + L".dat"));
    expected += paths.back() + L"\r\n";
  }
  ComPtr<IShellExtInit> handler = HandlerFor(paths);
  ASSERT_TRUE(handler);
  ComPtr<IContextMenu> menu = Query<IContextMenu>(handler.Get(), IID_IContextMenu);
  HMENU popup = ::CreatePopupMenu();
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL), MAKE_HRESULT(0, 0, 1));
  ::DestroyMenu(popup);
  EXPECT_EQ(InvokeItem(handler.Get()), S_OK);
  WaitForOneStart();
  EXPECT_EQ(Utf16Le(shell_host::ReadFileBytes(shell_host::TempDirectory() + L"quenorclean.filelist")), expected);
}

// --- what is built into the DLL ---------------------------------------------

TEST_F(ShellHostTest, TheDllCarriesTheTypeLibraryTheIconGroupAndTheProjectVersion) {
  const std::wstring dll = test_support::SiblingPath(L"Scanmenu.dll");
  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadTypeLibEx(dll.c_str(), REGKIND_NONE, &library), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_VeltraneScanmenuLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->lcid, 0x0409u);
  library->ReleaseTLibAttr(attributes);

  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_VeltraneContextMenuHandler, &coclass), S_OK);
  TYPEATTR* type = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_COCLASS);
  EXPECT_NE(type->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
  coclass->ReleaseTypeAttr(type);

  ComPtr<ITypeInfo> dual;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IVeltraneContextMenuHandler, &dual), S_OK);
  ASSERT_EQ(dual->GetTypeAttr(&type), S_OK);
  const WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
  EXPECT_EQ(type->wTypeFlags & wanted, wanted);
  dual->ReleaseTypeAttr(type);
  // Its vtable side derives from IDispatch and is automation-compatible.
  HREFTYPE vtable_side = 0;
  ASSERT_EQ(dual->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable_side), S_OK);
  ComPtr<ITypeInfo> interface_info;
  ASSERT_EQ(dual->GetRefTypeInfo(vtable_side, &interface_info), S_OK);
  ASSERT_EQ(interface_info->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_INTERFACE);
  EXPECT_NE(type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, 0);
  EXPECT_EQ(type->cFuncs, 0);  // no members of its own
  interface_info->ReleaseTypeAttr(type);

  HMODULE image = ::LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC group = ::FindResourceW(image, MAKEINTRESOURCEW(100), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  const auto* directory = static_cast<const BYTE*>(::LockResource(::LoadResource(image, group)));
  ASSERT_NE(directory, nullptr);
  const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
  ASSERT_EQ(count, 2);
  std::vector<int> depths;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = directory + 6 + 14 * i;  // width, height, colours, reserved, planes, bits, ...
    EXPECT_EQ(entry[0], 16);
    EXPECT_EQ(entry[1], 16);
    depths.push_back(*reinterpret_cast<const WORD*>(entry + 6));
  }
  EXPECT_EQ(depths, (std::vector<int>{8, 32}));
  ::FreeLibrary(image);

  // The version resource carries the project's version; the type library
  // above keeps its own 1.0.
  const test_support::VersionResource version(dll);
  ASSERT_NE(version.fixed, nullptr);
  EXPECT_EQ(version.VersionLine(), test_support::ProjectVersionLine());
  EXPECT_EQ(version.Text(L"OriginalFilename"), L"Scanmenu.dll");
  EXPECT_EQ(version.fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
