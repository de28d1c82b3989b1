// The load-configuration directory of the shipped binaries. The linker points
// the image's load-configuration entry at the symbol _load_config_used and
// takes the directory's size from its first field.
//
// Its one setting is DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32: the
// loader of Windows 10 version 1607 and later then resolves the binary's
// static imports from System32 alone. A DLL that is not a KnownDLL (USERENV,
// WTSAPI32) would otherwise be looked for first in the folder the program was
// started from, where a DLL planted beside a service would run as LocalSystem.
// Everything else stays zero: no security cookie (the compiler's stack
// protector keeps its own), no control-flow guard.
#include <windows.h>

#include <cstddef>

namespace {

// This version of the mingw-w64 headers still names the field at offset 78 of
// the 64-bit layout (54 of the 32-bit one) Reserved1; the PE format calls it
// DependentLoadFlags. On 32-bit x86 the directory also holds the table of safe
// exception handlers, left empty here as for an image without such a table:
// the loader then checks no handler against it.
#if defined(_WIN64)
using LoadConfigDirectory = IMAGE_LOAD_CONFIG_DIRECTORY64;
static_assert(offsetof(LoadConfigDirectory, Reserved1) == 78, "DependentLoadFlags sits at offset 78");
#else
using LoadConfigDirectory = IMAGE_LOAD_CONFIG_DIRECTORY32;
static_assert(offsetof(LoadConfigDirectory, Reserved1) == 54, "DependentLoadFlags sits at offset 54");
#endif

constexpr LoadConfigDirectory SystemOnlyImports() {
  LoadConfigDirectory directory = {};
  directory.Size = sizeof directory;
  directory.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
  return directory;
}

}  // namespace

// Kept by the linker through --undefined (see qc_shipped_binary), as nothing
// in the program refers to it.
extern "C" const LoadConfigDirectory _load_config_used = SystemOnlyImports();
