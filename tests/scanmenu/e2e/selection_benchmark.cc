// How long the handler takes for a selection of 10,000 files, phase by phase:
// Initialize (the drop list), QueryContextMenu, InvokeCommand (the list file
// and the start of the stand-in scanner). Prints the best and the median of
// several rounds. Each round also measures the floor of the same request:
// reading the same drop list once, writing the same list bytes in one call
// and starting the stand-in scanner the same way; the last line is
// "ratio selection_<files> R 1.5", the median of the rounds' whole request
// over their floor.
//
//   scanmenu_selection_benchmark.exe [files] [rounds]
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "scanmenu/e2e/shell_host.h"
#include "support/win32/bench_figures.h"
#include "support/win32/stand_in_scanner.h"

namespace {

double Now() { return test_support::NowMs(); }

struct Phase {
  const char* name;
  std::vector<double> ms;
};

void Report(const Phase& phase) {
  std::vector<double> sorted = phase.ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("%-18s best %8.1f ms   median %8.1f ms\n", phase.name, sorted.front(), sorted[sorted.size() / 2]);
}

// The least any handler does for the request: the drop list read once into
// one buffer, the list file written with one call, the scanner started as the
// handler starts it. False when a step failed.
bool Floor(IDataObject* data, const std::string& list_bytes, const std::wstring& list_path,
           const std::wstring& scanner) {
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (FAILED(data->GetData(&format, &medium))) return false;
  std::wstring paths;
  if (auto* drop = static_cast<const DROPFILES*>(::GlobalLock(medium.hGlobal))) {
    const auto* text = reinterpret_cast<const wchar_t*>(reinterpret_cast<const char*>(drop) + drop->pFiles);
    const wchar_t* end = text;
    while (*end != 0) end += std::wcslen(end) + 1;
    paths.assign(text, end);
    ::GlobalUnlock(medium.hGlobal);
  }
  ::ReleaseStgMedium(&medium);
  if (paths.empty()) return false;

  HANDLE file = ::CreateFileW(list_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL wrote = ::WriteFile(file, list_bytes.data(), static_cast<DWORD>(list_bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  if (!wrote) return false;

  const std::wstring parameters = L"/scan /filelist=\"" + list_path + L"\"";
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOZONECHECKS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = scanner.c_str();
  info.lpParameters = parameters.c_str();
  return ::ShellExecuteExW(&info) != FALSE;
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
    Phase floor{"floor", {}};
    std::vector<double> ratios;
    const std::wstring list_path = shell_host::TempDirectory() + L"quenorclean.filelist";
    const std::wstring floor_list_path = folder.path() + L"\\floor.filelist";
    for (int round = 0; round < rounds && status == 0; ++round) {
      scanner.ClearLog();
      Microsoft::WRL::ComPtr<IDataObject> data = shell_host::NewDropDataObject(paths);
      const double start = Now();
      Microsoft::WRL::ComPtr<IShellExtInit> handler = shell_host::CreateHandler();
      if (!handler) {
        status = 1;
        break;
      }
      const double created = Now();
      const HRESULT initialized = handler->Initialize(nullptr, data.Get(), nullptr);
      const double after_initialize = Now();
      Microsoft::WRL::ComPtr<IContextMenu> menu;
      handler->QueryInterface(IID_IContextMenu, &menu);
      HMENU popup = ::CreatePopupMenu();
      const HRESULT queried = menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
      const double after_query = Now();
      const HRESULT invoked = shell_host::InvokeItem(handler.Get());
      const double after_invoke = Now();
      menu.Reset();
      handler.Reset();
      const double end = Now();
      ::DestroyMenu(popup);
      data.Reset();

      if (initialized != S_OK || queried != MAKE_HRESULT(0, 0, 1) || invoked != S_OK ||
          scanner.WaitForLog(1, 20000).size() != 1) {
        std::fprintf(stderr, "round %d failed: Initialize %08lx, QueryContextMenu %08lx, InvokeCommand %08lx\n", round,
                     static_cast<unsigned long>(initialized), static_cast<unsigned long>(queried),
                     static_cast<unsigned long>(invoked));
        status = 1;
      }
      initialize.ms.push_back(after_initialize - created);
      query.ms.push_back(after_query - after_initialize);
      invoke.ms.push_back(after_invoke - after_query);
      whole.ms.push_back(end - start);
      if (status != 0) break;

      // The floor, with the bytes the handler has just written.
      const std::string list_bytes = shell_host::ReadFileBytes(list_path);
      scanner.ClearLog();
      const Microsoft::WRL::ComPtr<IDataObject> same = shell_host::NewDropDataObject(paths);
      const double floor_start = Now();
      const bool floor_done = Floor(same.Get(), list_bytes, floor_list_path, scanner.path());
      const double floor_end = Now();
      if (list_bytes.empty() || !floor_done || scanner.WaitForLog(1, 20000).size() != 1) {
        std::fprintf(stderr, "round %d: the floor failed\n", round);
        status = 1;
        break;
      }
      floor.ms.push_back(floor_end - floor_start);
      ratios.push_back((end - start) / (floor_end - floor_start));
    }
    if (status == 0) {
      std::printf("%d files, %d rounds\n", files, rounds);
      for (const Phase* phase : {&initialize, &query, &invoke, &whole, &floor}) Report(*phase);
      const std::string name = "selection_" + std::to_string(files);
      test_support::PrintRatio(name.c_str(), test_support::Median(ratios), 1.5);
    }
  }
  ::CoUninitialize();
  return status;
}
