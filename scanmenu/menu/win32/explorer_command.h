// The command Windows 11 shows in its first-level context menu: declared by
// the sparse package, it makes the same scan request as the context-menu
// handler, for the file-system items of the selection.
#pragma once

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "scanmenu/module/registration_text.h"
#include "scanmenu/module/win32/interface_entry.h"
#include "scanmenu/module/win32/object_root.h"

namespace scanmenu {

inline constexpr ClassIdFields kExplorerCommandFields = ParseClassId(kExplorerCommandClassIdText);
static_assert(kExplorerCommandFields.valid);
inline constexpr CLSID CLSID_VeltraneExplorerCommand = {
    kExplorerCommandFields.data1,
    kExplorerCommandFields.data2,
    kExplorerCommandFields.data3,
    {kExplorerCommandFields.data4[0], kExplorerCommandFields.data4[1], kExplorerCommandFields.data4[2],
     kExplorerCommandFields.data4[3], kExplorerCommandFields.data4[4], kExplorerCommandFields.data4[5],
     kExplorerCommandFields.data4[6], kExplorerCommandFields.data4[7]}};

class CVeltraneExplorerCommand : public IExplorerCommand,
                                 public IObjectWithSite,
                                 public CObjectRoot<SingleThreadModel> {
 public:
  // IExplorerCommand first: it answers IUnknown.
  static const InterfaceEntry* GetEntries();

  // IExplorerCommand
  HRESULT STDMETHODCALLTYPE GetTitle(IShellItemArray* items, LPWSTR* name) override;
  HRESULT STDMETHODCALLTYPE GetIcon(IShellItemArray* items, LPWSTR* icon) override;
  HRESULT STDMETHODCALLTYPE GetToolTip(IShellItemArray* items, LPWSTR* tip) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalName(GUID* name) override;
  HRESULT STDMETHODCALLTYPE GetState(IShellItemArray* items, BOOL slow_ok, EXPCMDSTATE* state) override;
  HRESULT STDMETHODCALLTYPE Invoke(IShellItemArray* items, IBindCtx* context) override;
  HRESULT STDMETHODCALLTYPE GetFlags(EXPCMDFLAGS* flags) override;
  HRESULT STDMETHODCALLTYPE EnumSubCommands(IEnumExplorerCommand** commands) override;

  // IObjectWithSite
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** site) override;

 protected:
  // Built only inside the module's instance wrappers.
  CVeltraneExplorerCommand() = default;
  ~CVeltraneExplorerCommand() = default;

 private:
  Microsoft::WRL::ComPtr<IUnknown> site_;
};

}  // namespace scanmenu
