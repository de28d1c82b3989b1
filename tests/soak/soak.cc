// Endurance of the real binaries under long use, for `make soak`:
//   - N turns of service and agent (scheduler.exe installed as the service):
//     the service starts, starts the agent, the agent's catch-up scan reaches
//     the stand-in scanner, and the agent ends by log-off hand-back, closed
//     window or update event in rotation, before the next start;
//   - 100 requests of 10,000 items through this process, which holds
//     Scanmenu.dll as the shell would;
//   - 500 register/unregister cycles of Scanmenu.dll in this process, judged
//     beyond 500 cycles of the bare type-library calls they make.
// Each series records the handle count and private bytes at each step and
// prints its first and last figures after warm-up. It fails on growth beyond
// 2 % or on a turn whose scan did not reach the stand-in exactly once, and
// when DllCanUnloadNow does not answer S_OK once every handler is released;
// when all holds, its last line is "soak: N turns, 100 requests, 500 cycles,
// no growth".
//
//   soak.exe [turns [requests [cycles]]]   (turns may be 0: no service)
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/win32/scoped_handle.h"
#include "scanmenu/e2e/shell_host.h"
#include "support/win32/catch_up_schedule.h"
#include "support/win32/host_process.h"
#include "support/win32/poll.h"
#include "support/win32/process_runner.h"
#include "support/win32/service_entry_probe.h"
#include "support/win32/stand_in_scanner.h"

namespace {

using test_support::PollFor;

constexpr wchar_t kEventWindowClass[] = L"Veltrane Scheduler Event Window";
constexpr int kRequests = 100;
constexpr int kRequestFiles = 10000;
constexpr int kCycles = 500;
constexpr double kGrowthLimit = 0.02;

struct Figures {
  DWORD handles = 0;
  SIZE_T private_bytes = 0;
};

// Under Wine, GetProcessHandleCount and the private bytes of
// GetProcessMemoryInfo read 0. The soak then counts the process's entries in
// the system's handle table (NtQuerySystemInformation, class 16, whose
// entries begin with the owner's process id) and takes the anonymous resident
// memory of the host process from the host's /proc (Wine's drive Z:).
DWORD HandlesInSystemTable(DWORD process_id) {
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  struct Entry {
    ULONG owner;
    BYTE type;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  if (query == nullptr) return 0;
  std::vector<char> buffer(1 << 20);
  ULONG length = 0;
  while (query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0) {
    if (buffer.size() >= (64u << 20)) return 0;
    buffer.resize(buffer.size() * 2);
  }
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
  DWORD owned = 0;
  for (ULONG i = 0; i < count; ++i) {
    if (entries[i].owner == process_id) ++owned;
  }
  return owned;
}

// The "RssAnon" of the host process (see FindHostProcess); 0 when there is
// none.
SIZE_T HostPrivateBytes(const char* image, bool agent) {
  const std::wstring folder = test_support::FindHostProcess(image, agent);
  if (folder.empty()) return 0;
  const std::string status = test_support::ReadHostFile(folder + L"\\status");
  const std::size_t at = status.find("RssAnon:");
  if (at == std::string::npos) return 0;
  return static_cast<SIZE_T>(std::strtoull(status.c_str() + at + 8, nullptr, 10)) * 1024;
}

// `image` and `agent` name the host process for the Wine fallback.
bool Read(HANDLE process, const char* image, bool agent, Figures* figures) {
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  if (!::GetProcessHandleCount(process, &figures->handles)) return false;
  if (!::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    return false;
  }
  figures->private_bytes = memory.PrivateUsage;
  if (figures->handles == 0) figures->handles = HandlesInSystemTable(::GetProcessId(process));
  if (figures->private_bytes == 0) figures->private_bytes = HostPrivateBytes(image, agent);
  return figures->handles != 0 && figures->private_bytes != 0;
}

bool ReadProcess(DWORD process_id, const char* image, bool agent, Figures* figures) {
  win32::ScopedHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
  return process && Read(process.get(), image, agent, figures);
}

// One series of figures; Report prints it and tells whether it grew. A
// series with a floor is judged by its growth beyond the floor's own: the
// system calls it makes keep what they keep whoever makes them.
struct Series {
  const char* name;
  int warm_up;
  std::vector<Figures> steps;
  const Series* floor = nullptr;
  bool is_floor = false;  // reported, not judged

  bool Measured() const { return steps.size() > static_cast<std::size_t>(warm_up); }
  double HandleGrowth() const { return static_cast<double>(steps.back().handles) - First().handles; }
  double ByteGrowth() const { return static_cast<double>(steps.back().private_bytes) - First().private_bytes; }
  const Figures& First() const { return steps[static_cast<std::size_t>(warm_up)]; }

  bool Report() const {
    if (!Measured() || (floor != nullptr && !floor->Measured())) {
      std::printf("%-16s too few steps (%zu)\n", name, steps.size());
      return false;
    }
    const Figures& first = First();
    const Figures& last = steps.back();
    const double floor_handles = floor != nullptr ? std::max(0.0, floor->HandleGrowth()) : 0;
    const double floor_bytes = floor != nullptr ? std::max(0.0, floor->ByteGrowth()) : 0;
    // A handle count is a whole number: one handle more than 2 % of a few
    // dozen is the moment of sampling, not growth.
    const double handles = HandleGrowth() - floor_handles;
    const bool handles_grew = handles > first.handles * kGrowthLimit && handles > 1;
    const bool bytes_grew = ByteGrowth() - floor_bytes > first.private_bytes * kGrowthLimit;
    std::printf("%-16s handles %5lu -> %5lu   private %8.1f KiB -> %8.1f KiB", name, first.handles, last.handles,
                first.private_bytes / 1024.0, last.private_bytes / 1024.0);
    if (floor != nullptr)
      std::printf("   beyond the %s: %+.0f handles, %+.1f KiB", floor->name, handles,
                  (ByteGrowth() - floor_bytes) / 1024.0);
    if (is_floor) {
      std::printf("   (floor)\n");
      return true;
    }
    std::printf("%s\n", handles_grew || bytes_grew ? "   GROWTH" : "");
    return !handles_grew && !bytes_grew;
  }
};

HWND AgentWindow() { return ::FindWindowW(kEventWindowClass, kEventWindowClass); }

DWORD AgentProcessId() {
  DWORD process_id = 0;
  if (HWND window = AgentWindow()) ::GetWindowThreadProcessId(window, &process_id);
  return process_id;
}

void EndAgents() {
  for (int i = 0; i < 20 && AgentWindow() != nullptr; ++i) {
    win32::ScopedHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, AgentProcessId()));
    if (process) {
      ::TerminateProcess(process.get(), 0);
      ::WaitForSingleObject(process.get(), 5000);
    }
    PollFor([] { return AgentWindow() == nullptr; }, 1000);
  }
}

// The service's process while it runs, else 0.
DWORD ServiceProcessId(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed)) {
    return 0;
  }
  return status.dwCurrentState == SERVICE_RUNNING ? status.dwProcessId : 0;
}

void StopService(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  ::ControlService(service, SERVICE_CONTROL_STOP, &status);
  test_support::WaitForState(SERVICE_STOPPED, 15000);
}

// The turns of service and agent; false on a lost or doubled scan.
bool Turns(int turns, Series& service_series, Series& agent_series) {
  test_support::RemoveEntry();
  EndAgents();
  const std::wstring scheduler = test_support::SiblingPath(L"scheduler.exe");
  if (!test_support::CreateEntry(test_support::Quoted(scheduler), L"Veltrane Scheduler")) {
    std::fprintf(stderr, "could not install the service\n");
    return false;
  }
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  win32::ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  win32::ScopedServiceHandle service(manager ? ::OpenServiceW(manager.get(), test_support::kSchedulerServiceName,
                                                              SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS)
                                             : nullptr);
  bool ok = scanner.ok() && service;
  for (int turn = 0; turn < turns && ok; ++turn) {
    if (!test_support::ScheduleCatchUpScan()) {
      ok = false;
      break;
    }
    scanner.ClearLog();
    // Start: the service, which starts the agent, which stops the service.
    if (!::StartServiceW(service.get(), 0, nullptr)) {
      std::fprintf(stderr, "turn %d: the service did not start (%lu)\n", turn, ::GetLastError());
      ok = false;
      break;
    }
    Figures service_figures;
    const bool service_read = PollFor(
        [&] {
          const DWORD id = ServiceProcessId(service.get());
          return id != 0 && ReadProcess(id, "scheduler.exe", false, &service_figures);
        },
        10000);
    if (!PollFor([] { return AgentWindow() != nullptr; }, 20000)) {
      std::fprintf(stderr, "turn %d: no agent\n", turn);
      ok = false;
      break;
    }
    const DWORD agent_id = AgentProcessId();
    const bool scanned = scanner.WaitForLog(1, 30000).size() == 1;
    Figures agent_figures;
    const bool agent_read = ReadProcess(agent_id, "scheduler.exe", true, &agent_figures);
    ::Sleep(1000);
    if (!scanned || scanner.Log().size() != 1) {
      std::fprintf(stderr, "turn %d: %zu scans reached the stand-in\n", turn, scanner.Log().size());
      ok = false;
    }
    if (service_read) service_series.steps.push_back(service_figures);
    if (agent_read) agent_series.steps.push_back(agent_figures);

    // The agent's end, in rotation.
    HWND window = AgentWindow();
    DWORD_PTR result = 0;
    switch (turn % 3) {
      case 0:  // log-off: the agent hands back to the service with "endsession"
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &result);
        ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &result);
        break;
      case 1:  // the window closed: the agent brings the service back
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        break;
      default:  // the update event: agent and service end
        test_support::RunProcess(test_support::Quoted(test_support::SiblingPath(L"set_update_event.exe")), 10000);
        break;
    }
    win32::ScopedHandle agent(::OpenProcess(SYNCHRONIZE, FALSE, agent_id));
    if (agent) ::WaitForSingleObject(agent.get(), 10000);
    ::Sleep(2000);
    // Back to nothing running before the next start.
    EndAgents();
    StopService(service.get());
    EndAgents();
  }
  test_support::RemoveEntry();
  EndAgents();
  test_support::ClearSchedule();
  return ok;
}

bool Requests(int requests, Series& series) {
  shell_host::ClassRegistration registration;
  test_support::StandInScanner scanner(test_support::kScanmenuApplicationSubkey);
  if (!registration.ok() || !scanner.ok()) return false;
  shell_host::TempFolder folder(L"Scan Menu Soak");
  std::vector<std::wstring> paths;
  for (int i = 0; i < kRequestFiles; ++i) paths.push_back(folder.AddFile(L"file " + std::to_wstring(i) + L".dat"));
  for (int request = 0; request < requests; ++request) {
    scanner.ClearLog();
    Microsoft::WRL::ComPtr<IDataObject> data = shell_host::NewDropDataObject(paths);
    Microsoft::WRL::ComPtr<IShellExtInit> handler = shell_host::CreateHandler();
    if (!handler) return false;
    const HRESULT initialized = handler->Initialize(nullptr, data.Get(), nullptr);
    Microsoft::WRL::ComPtr<IContextMenu> menu;
    handler->QueryInterface(IID_IContextMenu, &menu);
    HMENU popup = ::CreatePopupMenu();
    const HRESULT queried = menu ? menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL) : E_FAIL;
    const HRESULT invoked = shell_host::InvokeItem(handler.Get());
    menu.Reset();
    handler.Reset();
    ::DestroyMenu(popup);
    data.Reset();
    if (initialized != S_OK || FAILED(queried) || invoked != S_OK || scanner.WaitForLog(1, 20000).size() != 1) {
      std::fprintf(stderr, "request %d failed\n", request);
      return false;
    }
    Figures figures;
    if (Read(::GetCurrentProcess(), "soak.exe", false, &figures)) series.steps.push_back(figures);
  }
  return true;
}

// Runs `cycle` `cycles` times, or until it fails, reading this process's
// figures after each.
template <typename Cycle>
bool RepeatCycles(const char* what, int cycles, Series& series, Cycle cycle) {
  for (int turn = 0; turn < cycles; ++turn) {
    const HRESULT hr = cycle();
    if (FAILED(hr)) {
      std::fprintf(stderr, "%s %d failed (0x%08lx)\n", what, turn, static_cast<unsigned long>(hr));
      return false;
    }
    Figures figures;
    if (Read(::GetCurrentProcess(), "soak.exe", false, &figures)) series.steps.push_back(figures);
  }
  return true;
}

bool Cycles(int cycles, Series& series) {
  HMODULE library = ::LoadLibraryW(test_support::SiblingPath(L"Scanmenu.dll").c_str());
  if (library == nullptr) return false;
  using Export = HRESULT(STDAPICALLTYPE*)();
  const auto do_register =
      reinterpret_cast<Export>(reinterpret_cast<void*>(::GetProcAddress(library, "DllRegisterServer")));
  const auto do_unregister =
      reinterpret_cast<Export>(reinterpret_cast<void*>(::GetProcAddress(library, "DllUnregisterServer")));
  const bool ok = do_register != nullptr && do_unregister != nullptr &&
                  RepeatCycles("register cycle", cycles, series,
                               [&] { return do_register() == S_OK && do_unregister() == S_OK ? S_OK : E_FAIL; });
  ::FreeLibrary(library);
  return ok;
}

// The floor of a register cycle: the type library's registration and its
// removal, made directly with the calls the library's registration makes.
// Under Wine each RegisterTypeLib keeps handles, whoever calls it.
bool TypeLibraryCycles(int cycles, Series& series) {
  std::wstring path = test_support::SiblingPath(L"Scanmenu.dll");
  return RepeatCycles("type library cycle", cycles, series, [&] {
    ITypeLib* library = nullptr;
    HRESULT hr = ::LoadTypeLib(path.c_str(), &library);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = ::RegisterTypeLib(library, path.data(), nullptr);
    if (SUCCEEDED(hr)) hr = library->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
      hr = ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
      library->ReleaseTLibAttr(attr);
    }
    library->Release();
    return hr;
  });
}

}  // namespace

int main(int argc, char** argv) {
  const int turns = argc > 1 ? std::atoi(argv[1]) : 200;
  const int requests = argc > 2 ? std::atoi(argv[2]) : kRequests;
  const int cycles = argc > 3 ? std::atoi(argv[3]) : kCycles;
  if (turns < 0 || requests < 1 || cycles < 1) return 2;
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  // Warm-up: the first steps of a series fill caches and pools.
  Series service_series{"service turns", turns / 2 < 3 ? turns / 2 : 3, {}};
  Series agent_series{"agent turns", turns / 2 < 3 ? turns / 2 : 3, {}};
  Series request_series{"requests", std::min(10, requests / 3), {}};
  Series type_library_series{"type library", std::min(50, cycles / 3), {}, nullptr, true};
  Series cycle_series{"register cycles", std::min(50, cycles / 3), {}, &type_library_series};

  bool ok = turns == 0 || Turns(turns, service_series, agent_series);
  ok = Cycles(cycles, cycle_series) && ok;
  ok = TypeLibraryCycles(cycles, type_library_series) && ok;
  ok = Requests(requests, request_series) && ok;
  std::vector<const Series*> judged = {&type_library_series, &cycle_series, &request_series};
  if (turns > 0) judged.insert(judged.begin(), {&service_series, &agent_series});
  for (const Series* series : judged) ok = series->Report() && ok;
  // Every handler, class object and lock is given back: the library may go.
  const HRESULT unload = shell_host::CallDllCanUnloadNow();
  std::printf("DllCanUnloadNow   0x%08lx\n", static_cast<unsigned long>(unload));
  ok = unload == S_OK && ok;
  ::CoUninitialize();
  std::fflush(stderr);
  if (!ok) {
    std::printf("soak: failed\n");
    return 1;
  }
  std::printf("soak: %d turns, %d requests, %d cycles, no growth\n", turns, requests, cycles);
  return 0;
}
