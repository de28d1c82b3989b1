// How long the handler takes for a selection of 10,000 files, phase by phase:
// Initialize (the drop list), QueryContextMenu, InvokeCommand (the list file
// and the start of the stand-in scanner). Prints the best and the median of
// several rounds.
//
//   scanmenu_selection_benchmark.exe [files] [rounds]
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scanmenu/e2e/shell_host.h"
#include "support/win32/stand_in_scanner.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Phase {
  const char* name;
  std::vector<double> ms;
};

void Report(const Phase& phase) {
  std::vector<double> sorted = phase.ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("%-18s best %8.1f ms   median %8.1f ms\n", phase.name, sorted.front(), sorted[sorted.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (files < 2 || rounds < 1) return 2;
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 0;
  {
    shell_host::ClassRegistration registration;
    test_support::StandInScanner scanner(test_support::kScanmenuApplicationSubkey);
    if (!registration.ok() || !scanner.ok()) {
      std::fprintf(stderr, "could not register the handler or the stand-in scanner\n");
      return 1;
    }
    shell_host::TempFolder folder(L"Scan Menu Benchmark");
    std::vector<std::wstring> paths;
    for (int i = 0; i < files; ++i) paths.push_back(folder.AddFile(L"file number " + std::to_wstring(i) + L".dat"));

    Phase initialize{"Initialize", {}};
    Phase query{"QueryContextMenu", {}};
    Phase invoke{"InvokeCommand", {}};
    Phase whole{"whole request", {}};
    for (int round = 0; round < rounds && status == 0; ++round) {
      scanner.ClearLog();
      IDataObject* data = shell_host::NewDropDataObject(paths);
      const double start = Now();
      IShellExtInit* handler = shell_host::CreateHandler();
      if (handler == nullptr) {
        status = 1;
        data->Release();
        break;
      }
      const double created = Now();
      const HRESULT initialized = handler->Initialize(nullptr, data, nullptr);
      const double after_initialize = Now();
      IContextMenu* menu = nullptr;
      handler->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
      HMENU popup = ::CreatePopupMenu();
      const HRESULT queried = menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
      const double after_query = Now();
      const HRESULT invoked = shell_host::InvokeItem(handler);
      const double after_invoke = Now();
      menu->Release();
      handler->Release();
      const double end = Now();
      ::DestroyMenu(popup);
      data->Release();

      if (initialized != S_OK || queried != MAKE_HRESULT(0, 0, 1) || invoked != S_OK ||
          scanner.WaitForLog(1, 20000).size() != 1) {
        std::fprintf(stderr, "round %d failed: Initialize %08lx, QueryContextMenu %08lx, InvokeCommand %08lx\n",
                     round, static_cast<unsigned long>(initialized), static_cast<unsigned long>(queried),
                     static_cast<unsigned long>(invoked));
        status = 1;
      }
      initialize.ms.push_back(after_initialize - created);
      query.ms.push_back(after_query - after_initialize);
      invoke.ms.push_back(after_invoke - after_query);
      whole.ms.push_back(end - start);
    }
    if (status == 0) {
      std::printf("%d files, %d rounds\n", files, rounds);
      for (const Phase* phase : {&initialize, &query, &invoke, &whole}) Report(*phase);
    }
  }
  ::CoUninitialize();
  return status;
}
