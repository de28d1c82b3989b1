// Self-registration of the server: the registration scripts embedded as
// "REGISTRY" resources (the module's, the handler's and the Windows 11
// command's), run over the substitution list of a CRegObject; the type
// library embedded as TYPELIB 1; and the handler's approval by the shell.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace scanmenu {

// One caller substitution; a list of them ends at the entry with a null name.
struct RegistrationEntry {
  const wchar_t* name;
  const wchar_t* text;  // null: the entry is skipped
};

// Runs the "REGISTRY" resource `resource_id` of this library in register or
// unregister mode. The substitutions are `entries` (may be null), then the
// module's standard ones, then "Module" and "Module_Raw": the library's path
// with its single quotes doubled.
HRESULT RunRegistrationScript(UINT resource_id, bool do_register, const RegistrationEntry* entries);

// The registration functions of the class table: the handler's and the
// Windows 11 command's.
HRESULT UpdateHandlerRegistry(bool do_register);
HRESULT UpdateExplorerCommandRegistry(bool do_register);

// The type library of `module`: from the module file itself, else from the
// ".tlb" file beside it. `path` receives the path that loaded. Both outputs
// are null on failure.
HRESULT LoadTypeLibraryOf(HMODULE module, BSTR* path, ITypeLib** library);
// The same for the COM module record's type-library module (this library).
HRESULT LoadModuleTypeLibrary(BSTR* path, ITypeLib** library);

HRESULT RegisterTypeLibrary();
HRESULT UnregisterTypeLibrary();

// What the exports do, without the thread-locale handling.
HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace scanmenu
