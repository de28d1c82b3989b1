// A critical section whose initialisation can fail and is reported, and a
// scoped lock over it: the lock of the extension's COM frame.
//
// The rest of the tree locks with threads::Mutex (a slim reader/writer lock).
// The frame keeps this one because its contract needs a lock that the owning
// thread may take again: GetTypeInfo holds the module's lock while it adds its
// clean-up through AddTermFunc, which takes the same lock; a slim lock would
// deadlock there. Its Init also answers an HRESULT that the module's start and
// the class factory report.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "common/win32/last_error.h"

namespace scanmenu {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { Term(); }

  // Spin count 0. A failure is the HRESULT formed from the last error.
  HRESULT Init() {
    if (initialized_) return S_OK;
    if (!::InitializeCriticalSectionAndSpinCount(&section_, 0)) {
      const HRESULT hr = win32::HResultFromLastError();
      if (FAILED(hr)) return hr;
    }
    initialized_ = true;
    return S_OK;
  }
  void Term() {
    if (initialized_) ::DeleteCriticalSection(&section_);
    initialized_ = false;
  }
  bool initialized() const { return initialized_; }
  void Enter() { ::EnterCriticalSection(&section_); }
  void Leave() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_{};
  bool initialized_ = false;
};

class AutoLock {
 public:
  explicit AutoLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() { section_.Leave(); }

 private:
  CriticalSection& section_;
};

}  // namespace scanmenu
