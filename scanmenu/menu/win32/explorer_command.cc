#include "scanmenu/menu/win32/explorer_command.h"

#include <string>

#include "common/application/win32/registry_settings_source.h"
#include "common/text/display_text.h"
#include "common/win32/string_resource.h"
#include "scanmenu/menu/menu_item.h"
#include "scanmenu/menu/scan_request.h"
#include "scanmenu/menu/selection.h"
#include "scanmenu/menu/win32/win32_scan_platform.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/resources/resource_ids.h"

namespace scanmenu {
namespace {

// A copy of `text` in memory the caller frees with CoTaskMemFree.
HRESULT CopyOut(std::u16string_view text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (*out == nullptr) return E_OUTOFMEMORY;
  text.copy(reinterpret_cast<char16_t*>(*out), text.size());
  (*out)[text.size()] = L'\0';
  return S_OK;
}

// The file-system paths of the items, in order; items without one are left out.
void CapturePaths(IShellItemArray* items, Selection& paths) {
  DWORD count = 0;
  if (items == nullptr || FAILED(items->GetCount(&count))) return;
  for (DWORD index = 0; index < count; ++index) {
    IShellItem* item = nullptr;
    if (FAILED(items->GetItemAt(index, &item)) || item == nullptr) continue;
    LPWSTR path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path != nullptr) {
      paths.Append(reinterpret_cast<const char16_t*>(path));
      ::CoTaskMemFree(path);
    }
    item->Release();
  }
}

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

CVeltraneExplorerCommand::~CVeltraneExplorerCommand() {
  if (m_site != nullptr) m_site->Release();
}

HRESULT CVeltraneExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name) {
  // In the user's display language, asked each time the menu is built.
  return CopyOut(text::DisplayText(win32::LoadStringResource(g_hInstance, IDS_COMMAND_TITLE), kMenuText), name);
}

HRESULT CVeltraneExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon) {
  // "<library path>,-<icon id>": the menu icon from this library's resources.
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(g_hInstance, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) {
    if (icon != nullptr) *icon = nullptr;
    return E_FAIL;
  }
  std::u16string location(reinterpret_cast<const char16_t*>(path), length);
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

HRESULT CVeltraneExplorerCommand::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) {
  if (state == nullptr) return E_POINTER;
  // Files, directories and drives alike; Invoke leaves out what has no path.
  *state = ECS_ENABLED;
  return S_OK;
}

HRESULT CVeltraneExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) {
  Selection paths;
  CapturePaths(items, paths);
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
  if (site != nullptr) site->AddRef();
  if (m_site != nullptr) m_site->Release();
  m_site = site;
  return S_OK;
}

HRESULT CVeltraneExplorerCommand::GetSite(REFIID iid, void** site) {
  if (site == nullptr) return E_POINTER;
  *site = nullptr;
  if (m_site == nullptr) return E_FAIL;
  return m_site->QueryInterface(iid, site);
}

}  // namespace scanmenu
