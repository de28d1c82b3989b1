// The installer session's log, for the package's custom actions: one line
// written as an informational message, and the owner of the record it goes in.
// Only the thread the installer called the action on may write it.
#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"

namespace installer {

using ScopedMsiHandle = win32::ScopedResource<MSIHANDLE, ::MsiCloseHandle>;

inline void LogLine(MSIHANDLE install, const std::u16string& line) {
  ScopedMsiHandle record(::MsiCreateRecord(1));
  if (record && ::MsiRecordSetStringW(record.get(), 0, win32::Wide(line)) == ERROR_SUCCESS) {
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
  }
}

}  // namespace installer
