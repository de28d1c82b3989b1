// The classes Scanmenu.dll creates: the context-menu handler, and the command
// that Windows 11 shows in its first-level menu.
#include <windows.h>

#include "scanmenu/menu/win32/context_menu_handler.h"
#include "scanmenu/menu/win32/explorer_command.h"
#include "scanmenu/module/win32/class_entry.h"
#include "scanmenu/module/win32/class_factory.h"
#include "scanmenu/module/win32/create_instance.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/registration.h"
#include "scanmenu_idl.h"

namespace scanmenu {
namespace {

ClassObjectCache g_handlerClassObject = {nullptr, 0};

ClassEntry g_handlerEntry = {
    &CLSID_VeltraneContextMenuHandler,
    &UpdateHandlerRegistry,
    &CreateClassObject,
    &CreateInstanceOf<CVeltraneContextMenuHandler>,
    &g_handlerClassObject,
    nullptr,
    nullptr,
    nullptr,
};

ClassObjectCache g_commandClassObject = {nullptr, 0};

ClassEntry g_commandEntry = {
    &CLSID_VeltraneExplorerCommand,
    &UpdateExplorerCommandRegistry,
    &CreateClassObject,
    &CreateInstanceOf<CVeltraneExplorerCommand>,
    &g_commandClassObject,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

ClassEntry* const g_classTable[] = {&g_handlerEntry, &g_commandEntry};
extern const std::size_t g_classCount = sizeof(g_classTable) / sizeof(g_classTable[0]);

}  // namespace scanmenu
