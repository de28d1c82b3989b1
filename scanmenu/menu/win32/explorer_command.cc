#include "scanmenu/menu/win32/explorer_command.h"

#include <shlwapi.h>

#include <string>

#include "common/application/win32/registry_settings_source.h"
#include "common/hresult/hresult.h"
#include "common/text/display_text.h"
#include "common/win32/module_path.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/string_resource.h"
#include "common/win32/wide.h"
#include "scanmenu/menu/menu_item.h"
#include "scanmenu/menu/scan_request.h"
#include "scanmenu/menu/selection.h"
#include "scanmenu/menu/shell_items.h"
#include "scanmenu/menu/win32/scan_platform.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/resources/resource_ids.h"

namespace scanmenu {
namespace {

// A copy of `text` in memory the caller frees with CoTaskMemFree.
HRESULT CopyOut(const std::u16string& text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  return ::SHStrDupW(win32::Wide(text), out);
}

// Text in memory the callee allocated with CoTaskMemAlloc.
using ScopedTaskText = win32::ScopedResource<LPWSTR, ::CoTaskMemFree>;

// The shell item array Explorer passes, read through IShellItem. Null stands
// for no items at all.
class ShellItemArrayItems : public ShellItems {
 public:
  explicit ShellItemArrayItems(IShellItemArray* items) : items_(items) {}

  std::optional<std::size_t> Count() override {
    DWORD count = 0;
    if (items_ == nullptr) return 0;
    if (FAILED(items_->GetCount(&count))) return std::nullopt;
    return count;
  }

  std::optional<std::u16string> FileSystemPath(std::size_t index) override {
    Microsoft::WRL::ComPtr<IShellItem> item;
    if (FAILED(items_->GetItemAt(static_cast<DWORD>(index), &item)) || !item) return std::nullopt;
    // Only items that report SFGAO_FILESYSTEM have one; the call fails for the others.
    ScopedTaskText path;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path) return std::nullopt;
    return win32::FromWide(path.get());
  }

 private:
  IShellItemArray* items_;
};

}  // namespace

const InterfaceEntry* CVeltraneExplorerCommand::GetEntries() {
  using Self = CVeltraneExplorerCommand;
  static const InterfaceEntry kEntries[] = {
      {&IID_IExplorerCommand, OffsetOfClass<IExplorerCommand, Self>(), kSimpleEntry},
      {&IID_IObjectWithSite, OffsetOfClass<IObjectWithSite, Self>(), kSimpleEntry},
      {nullptr, 0, 0},
  };
  return kEntries;
}

HRESULT CVeltraneExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name) {
  // In the user's display language, asked each time the menu is built.
  return CopyOut(text::DisplayText(win32::LoadStringResource(g_hInstance, IDS_COMMAND_TITLE), kMenuText), name);
}

HRESULT CVeltraneExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon) {
  // "<library path>,-<icon id>": the menu icon from this library's resources.
  wchar_t path[MAX_PATH];
  DWORD length = 0;
  const DWORD error = win32::ModuleFileName(g_hInstance, path, length);
  if (error != ERROR_SUCCESS) {
    if (icon != nullptr) *icon = nullptr;
    return hresult::HResultFromError(static_cast<std::int32_t>(error));
  }
  std::u16string location(win32::Utf16(path), length);
  location += u",-";
  for (const char c : std::to_string(IDI_SCAN_MENU)) location += static_cast<char16_t>(c);
  return CopyOut(location, icon);
}

HRESULT CVeltraneExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* tip) {
  if (tip != nullptr) *tip = nullptr;
  return E_NOTIMPL;
}

HRESULT CVeltraneExplorerCommand::GetCanonicalName(GUID* name) {
  if (name == nullptr) return E_POINTER;
  *name = CLSID_VeltraneExplorerCommand;
  return S_OK;
}

HRESULT CVeltraneExplorerCommand::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state) {
  if (state == nullptr) return E_POINTER;
  // Reading the items' paths is quick, so the answer never waits for the slow call.
  ShellItemArrayItems shell_items(items);
  *state = StateForItems(shell_items) == CommandState::kEnabled ? ECS_ENABLED : ECS_HIDDEN;
  return S_OK;
}

HRESULT CVeltraneExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) {
  Selection paths;
  ShellItemArrayItems shell_items(items);
  CaptureItemPaths(shell_items, paths);
  if (paths.empty()) return E_INVALIDARG;
  Win32ScanPlatform platform;
  return static_cast<HRESULT>(InvokeScanCommand(0, paths, platform, application::RegistrySettingsSource()));
}

HRESULT CVeltraneExplorerCommand::GetFlags(EXPCMDFLAGS* flags) {
  if (flags == nullptr) return E_POINTER;
  *flags = ECF_DEFAULT;
  return S_OK;
}

HRESULT CVeltraneExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands) {
  if (commands != nullptr) *commands = nullptr;
  return E_NOTIMPL;
}

HRESULT CVeltraneExplorerCommand::SetSite(IUnknown* site) {
  site_ = site;
  return S_OK;
}

HRESULT CVeltraneExplorerCommand::GetSite(REFIID iid, void** site) {
  if (site == nullptr) return E_POINTER;
  *site = nullptr;
  if (site_ == nullptr) return E_FAIL;
  return site_->QueryInterface(iid, site);
}

}  // namespace scanmenu
