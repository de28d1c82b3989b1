#include "scanmenu/module/win32/module_globals.h"

#include "scanmenu/module/win32/base_module_record.h"
#include "scanmenu/module/win32/com_module_record.h"
#include "scanmenu/module/win32/scanmenu_module.h"
#include "scanmenu_idl.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace scanmenu {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

HINSTANCE g_hInstance = ThisModule();
bool g_initFailed = false;

namespace {

// The three records in the order they must be built, all in this one unit so
// that the order holds; they are torn down in reverse at unload.
BaseModuleRecord g_baseModule;
ComModuleRecord g_comModule(g_classTable, g_classTable + g_classCount, ThisModule());

class ModuleObject final : public CVeltraneScanmenuModule {
 public:
  ModuleObject() : CVeltraneScanmenuModule(LIBID_VeltraneScanmenuLib) {
    for (ClassEntry* const entry : g_comModule) {
      if (entry != nullptr && entry->object_main != nullptr) entry->object_main(true);
    }
  }
  ~ModuleObject() override {
    for (ClassEntry* const entry : g_comModule) {
      if (entry != nullptr && entry->object_main != nullptr) entry->object_main(false);
    }
  }
};
ModuleObject g_module;

}  // namespace

BaseModuleRecord& BaseModule() { return g_baseModule; }
ComModuleRecord& ComModule() { return g_comModule; }
CVeltraneScanmenuModule& Module() { return g_module; }

}  // namespace scanmenu
