#include "scheduler/events/win32/event_log.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/trace/trace.h"
#include "common/win32/module_path.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"

namespace events {
namespace {

using ScopedEventSource = win32::ScopedResource<HANDLE, ::DeregisterEventSource>;

WORD EventType(Level level) {
  switch (level) {
    case Level::kError:
      return EVENTLOG_ERROR_TYPE;
    case Level::kWarning:
      return EVENTLOG_WARNING_TYPE;
    case Level::kInformation:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

class Win32EventLogSink final : public EventSink {
 public:
  void Report(const Event& event) override {
    const std::u16string name(kSourceName);
    ScopedEventSource source(::RegisterEventSourceW(nullptr, win32::Wide(name)));
    if (!source) {
      trace::Trace("RegisterEventSourceW failed: %u\r\n", static_cast<unsigned>(::GetLastError()));
      return;
    }
    std::vector<LPCWSTR> strings;
    for (const std::u16string& insert : event.inserts) strings.push_back(win32::Wide(insert));
    const bool reported =
        ::ReportEventW(source.get(), EventType(event.level), 0, Identifier(event.code), nullptr,
                       static_cast<WORD>(strings.size()), 0, strings.empty() ? nullptr : strings.data(), nullptr);
    trace::Trace("ReportEventW %u: %u\r\n", static_cast<unsigned>(event.code),
                 static_cast<unsigned>(reported ? ERROR_SUCCESS : ::GetLastError()));
  }
};

}  // namespace

EventSink& EventLogSink() {
  static Win32EventLogSink sink;
  return sink;
}

bool RegisterEventSourceKey() {
  wchar_t own_path[MAX_PATH] = {};
  DWORD length = 0;
  if (win32::ModuleFileName(nullptr, own_path, length) != ERROR_SUCCESS) return false;
  win32::RegistryKey key;
  if (key.Create(HKEY_LOCAL_MACHINE, kSourceKeyPath, KEY_SET_VALUE) != ERROR_SUCCESS) return false;
  const DWORD types = kTypesSupported;
  return ::RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(own_path),
                          (length + 1) * sizeof(wchar_t)) == ERROR_SUCCESS &&
         ::RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                          sizeof types) == ERROR_SUCCESS;
}

bool RemoveEventSourceKey() {
  const std::u16string path(kSourceKeyPath);
  const LSTATUS status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, win32::Wide(path));
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace events
