// The cost of one context-menu handler as the shell makes it for a menu:
// CoCreateInstance, Initialize with one file, QueryContextMenu, Release.
// Against it, in the same rounds, a minimal handler (minimal_handler.dll,
// registered and created the same way) that makes the same platform calls:
// the icon loaded from the library's resources, the item bitmap drawn, the
// drop list read, the item inserted. Prints both medians, the part of COM's
// class lookup, and "ratio handler_cycle R 1.2" ("handler_cycle_x86" for the
// 32-bit build, which measures the 32-bit DLL in a 32-bit host).
//
//   scanmenu_handler_cycle_benchmark.exe [cycles per round] [rounds]
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "minimal_handler.h"
#include "scanmenu/e2e/shell_host.h"
#include "scanmenu/resources/resource_ids.h"
#include "scanmenu_idl.h"
#include "support/win32/bench_figures.h"
#include "support/win32/process_runner.h"

namespace {

// One cycle as the shell makes it: the handler of `handler_class` made
// through COM, initialised with the data, asked for its item, released.
bool Cycle(REFCLSID handler_class, IDataObject* data, HMENU popup) {
  HRESULT initialized = E_FAIL;
  HRESULT queried = E_NOINTERFACE;
  {
    Microsoft::WRL::ComPtr<IShellExtInit> handler;
    if (FAILED(::CoCreateInstance(handler_class, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, &handler))) {
      return false;
    }
    initialized = handler->Initialize(nullptr, data, nullptr);
    Microsoft::WRL::ComPtr<IContextMenu> menu;
    handler->QueryInterface(IID_IContextMenu, &menu);
    if (menu) queried = menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
  }
  ::DeleteMenu(popup, 0, MF_BYPOSITION);
  return initialized == S_OK && queried == MAKE_HRESULT(0, 0, 1);
}

// The minimal handler's library registered as the real one is, for as long
// as the owner lives.
class MinimalRegistration {
 public:
  MinimalRegistration() {
    const std::wstring path = test_support::SiblingPath(L"minimal_handler.dll");
    const std::wstring server = std::wstring(kMinimalMenuHandlerKey) + L"\\InprocServer32";
    ok_ = ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, server.c_str(), nullptr, REG_SZ, path.c_str(),
                            static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
          ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, server.c_str(), L"ThreadingModel", REG_SZ, L"Apartment",
                            sizeof L"Apartment") == ERROR_SUCCESS;
  }
  ~MinimalRegistration() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMinimalMenuHandlerKey); }
  MinimalRegistration(const MinimalRegistration&) = delete;
  MinimalRegistration& operator=(const MinimalRegistration&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// COM's part alone: the class looked up and its class object got, released.
bool ActivationOnly() {
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  return SUCCEEDED(
      ::CoGetClassObject(CLSID_VeltraneContextMenuHandler, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &factory));
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 200;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  if (cycles < 1 || rounds < 1) return 2;
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 0;
  {
    shell_host::ClassRegistration registration;
    MinimalRegistration minimal_registration;
    shell_host::TempFolder folder(L"Scan Menu Cycle Benchmark");
    const std::vector<std::wstring> paths{folder.AddFile(L"one file.dat")};
    const Microsoft::WRL::ComPtr<IDataObject> data = shell_host::NewDropDataObject(paths);
    HMENU popup = ::CreatePopupMenu();
    // The first cycle loads the library, whose icon the minimal handler uses too.
    if (!registration.ok() || !Cycle(CLSID_VeltraneContextMenuHandler, data.Get(), popup)) {
      std::fprintf(stderr, "could not register or drive the handler\n");
      status = 1;
    }
    if (status == 0 && (!minimal_registration.ok() || !Cycle(kMinimalMenuHandlerClass, data.Get(), popup))) {
      std::fprintf(stderr, "could not register or drive the minimal handler\n");
      status = 1;
    }
    std::vector<double> handler_us, minimal_us, activation_us, ratios;
    for (int round = 0; round < rounds && status == 0; ++round) {
      // Alternate which one goes first, so that neither always meets a warm cache.
      double handler = 0, minimal = 0;
      for (int half = 0; half < 2 && status == 0; ++half) {
        const bool handler_turn = (half == 0) == (round % 2 == 0);
        const double start = test_support::NowMs();
        for (int i = 0; i < cycles && status == 0; ++i) {
          if (!Cycle(handler_turn ? CLSID_VeltraneContextMenuHandler : kMinimalMenuHandlerClass, data.Get(), popup)) {
            status = 1;
          }
        }
        (handler_turn ? handler : minimal) = (test_support::NowMs() - start) * 1000.0 / cycles;
      }
      const double activation_start = test_support::NowMs();
      for (int i = 0; i < cycles && status == 0; ++i) {
        if (!ActivationOnly()) status = 1;
      }
      activation_us.push_back((test_support::NowMs() - activation_start) * 1000.0 / cycles);
      handler_us.push_back(handler);
      minimal_us.push_back(minimal);
      ratios.push_back(handler / minimal);
    }
    ::DestroyMenu(popup);
    if (status == 0) {
      std::printf("handler cycle (%d-bit): %d rounds of %d cycles\n", static_cast<int>(sizeof(void*) * 8), rounds,
                  cycles);
      std::printf("  Scanmenu handler   median %8.1f us per cycle\n", test_support::Median(handler_us));
      std::printf("  minimal handler    median %8.1f us per cycle\n", test_support::Median(minimal_us));
      std::printf("  of the handler's:  COM's lookup of the class object alone %8.1f us\n",
                  test_support::Median(activation_us));
      test_support::PrintRatio(sizeof(void*) == 4 ? "handler_cycle_x86" : "handler_cycle", test_support::Median(ratios),
                               1.2);
    } else {
      std::fprintf(stderr, "a cycle failed\n");
    }
  }
  ::CoUninitialize();
  return status;
}
