// The process-wide records of the loaded library.
#pragma once

#include <windows.h>

#include <cstddef>

#include "scanmenu/module/win32/class_entry.h"

namespace scanmenu {

class CVeltraneScanmenuModule;
class ComModuleRecord;
class BaseModuleRecord;

// The instance handle the loader gave DllMain; the handler loads its icon
// through it. Before DllMain runs it is the image this code is part of.
extern HINSTANCE g_hInstance;
// Set when a module record could not be constructed; DllMain then refuses
// the process attach.
extern bool g_initFailed;

// The image this code is linked into.
HINSTANCE ThisModule();

BaseModuleRecord& BaseModule();
ComModuleRecord& ComModule();
CVeltraneScanmenuModule& Module();

// The table of creatable classes. Defined by the program or library that
// links the module: the DLL lists its handler class, tests list their own.
extern ClassEntry* const g_classTable[];
extern const std::size_t g_classCount;

}  // namespace scanmenu
