// The context-menu handler: captures the selection the shell hands it, adds
// "Scan with Quenor Clean" to the menu and turns the command into a scan.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "scanmenu/menu/selection.h"
#include "scanmenu/menu/win32/scoped_gdi.h"
#include "scanmenu/module/win32/dispatch_impl.h"
#include "scanmenu/module/win32/interface_entry.h"
#include "scanmenu/module/win32/object_root.h"
#include "scanmenu_idl.h"

namespace scanmenu {

class CVeltraneContextMenuHandler : public CDispatchImpl<IVeltraneContextMenuHandler, &IID_IVeltraneContextMenuHandler>,
                                    public IShellExtInit,
                                    public IContextMenu3,
                                    public CObjectRoot<SingleThreadModel> {
 public:
  // IShellExtInit first: it answers IUnknown and so gives the object its
  // identity. IDispatch and IVeltraneContextMenuHandler are not handed out.
  static const InterfaceEntry* GetEntries();

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY program_id) override;

  // IContextMenu
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT position, UINT first_id, UINT last_id,
                                             UINT flags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* buffer,
                                             UINT units) override;
  // IContextMenu2
  HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT message, WPARAM wparam, LPARAM lparam) override;
  // IContextMenu3
  HRESULT STDMETHODCALLTYPE HandleMenuMsg2(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

 protected:
  // Built only inside the module's instance wrappers.
  CVeltraneContextMenuHandler();
  ~CVeltraneContextMenuHandler();

 private:
  BOOL MeasureItem(UINT* width, UINT* height);
  BOOL DrawItem(HDC dc, RECT item, UINT state);

  SIZE m_iconSize;
  ScopedIcon m_hIcon;
  ScopedBitmap m_hBitmap;
  // The item and its help text in the user's display language, chosen when
  // the handler is made; m_menuText and m_menuTextLength stand for the first.
  std::u16string item_text_;
  std::u16string help_text_;
  const wchar_t* m_menuText;
  int m_menuTextLength;
  Selection m_paths;
};

}  // namespace scanmenu
