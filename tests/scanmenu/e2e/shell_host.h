// What the shell does with a context-menu handler, for the end-to-end tests,
// the benchmarks and the programs that drive the menu (demo, screenshot,
// soak, the package and kit checks): the library registered by regsvr32, a
// data object holding a real drop list, and the handler made through COM.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace shell_host {

// Registers Scanmenu.dll (beside the test program) with the system's
// regsvr32, as a packager does, and unregisters it again when it goes out of
// scope. Nothing else tells the platform about the class.
class ClassRegistration {
 public:
  ClassRegistration();
  ~ClassRegistration();
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// A data object that offers the given paths as CF_HDROP in global memory,
// as the shell's own does (UTF-16, or 8-bit in the ANSI code page when
// `wide` is false); with `offer_drop_list` false it offers nothing.
Microsoft::WRL::ComPtr<IDataObject> NewDropDataObject(const std::vector<std::wstring>& paths,
                                                      bool offer_drop_list = true, bool wide = true);
// The CF_HDROP block such a data object hands over: the header, then the list.
std::string DropBlock(const std::vector<std::wstring>& paths, bool wide = true);
// A data object that hands over `block` as it is, in global memory of exactly
// its size, however ill-formed it is: as a hostile host would.
Microsoft::WRL::ComPtr<IDataObject> NewRawDropDataObject(std::string block);

// A handler made through CoCreateInstance, as IShellExtInit.
Microsoft::WRL::ComPtr<IShellExtInit> CreateHandler(HRESULT* result = nullptr);

// A handler made through COM and initialised with a drop list of `paths`, as
// the shell prepares one before it asks for menu items: its IContextMenu, or
// null when any of these steps failed.
Microsoft::WRL::ComPtr<IContextMenu> NewContextMenu(const std::vector<std::wstring>& paths);

// The exports of the loaded Scanmenu.dll.
HRESULT CallDllCanUnloadNow();
HRESULT CallDllGetClassObject(REFCLSID clsid, REFIID iid, void** out);

// Invokes the item's own command (offset 0).
HRESULT InvokeItem(IUnknown* handler);
HRESULT InvokeVerb(IUnknown* handler, const char* verb);

// A fresh folder under the temporary directory whose name holds blanks,
// removed with everything in it when the owner goes out of scope.
class TempFolder {
 public:
  explicit TempFolder(const std::wstring& name);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }
  // Creates an empty file in the folder; its full path.
  std::wstring AddFile(const std::wstring& name);
  std::wstring AddFolder(const std::wstring& name);

 private:
  std::wstring path_;
};

// The whole content of a file, or empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// The temporary directory as GetTempPathW gives it.
std::wstring TempDirectory();

}  // namespace shell_host
