// The module object: the lock count that decides whether the DLL may be
// unloaded, and the work to do when it is.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

#include "scanmenu/module/win32/critical_section.h"

namespace scanmenu {

struct IRegistrarBase;

// The application id the module's registration scripts refer to as %APPID%.
inline constexpr wchar_t kModuleAppId[] = L"{C4D2197E-0B63-4A8F-B51D-93E6F27A0C14}";

class CVeltraneScanmenuModule {
 public:
  using TermFunc = void (*)(DWORD_PTR context);

  explicit CVeltraneScanmenuModule(const GUID& libid);
  CVeltraneScanmenuModule(const CVeltraneScanmenuModule&) = delete;
  CVeltraneScanmenuModule& operator=(const CVeltraneScanmenuModule&) = delete;
  virtual ~CVeltraneScanmenuModule();

  // Atomic; each returns the new count.
  virtual LONG LockModule();
  virtual LONG UnlockModule();
  virtual LONG LockCount() const;
  // The process's global interface table, created on first use. Nothing in
  // the extension uses it.
  virtual HRESULT GetGITPtr(IGlobalInterfaceTable** out);
  // Adds the substitutions every registration script may use: "APPID",
  // the module's application id. The registrar's result.
  virtual HRESULT AddStandardSubstitutions(IRegistrarBase* registrar);

  // Runs `func(context)` when the module is torn down.
  HRESULT AddTermFunc(TermFunc func, DWORD_PTR context);
  // Runs and frees the termination callbacks, releases the interface table
  // and deletes the critical section. Also done at destruction.
  void Term();

  bool initialized() const { return cb_size_ != 0; }
  const GUID& libid() const { return libid_; }
  // Guards the termination list and the type-information caches.
  CriticalSection& lock() { return lock_; }

 private:
  struct TermNode {
    TermFunc func;
    DWORD_PTR context;
    TermNode* next;
  };

  UINT cb_size_ = 0;
  volatile LONG lock_count_ = 0;
  TermNode* term_list_ = nullptr;
  CriticalSection lock_;
  GUID libid_;
  Microsoft::WRL::ComPtr<IGlobalInterfaceTable> git_;
};

}  // namespace scanmenu
