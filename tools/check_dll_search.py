"""Fails when a shipped binary has an import that Windows may find outside System32.

The loader takes a KnownDLL from its own section whatever the search order
says; every other DLL a binary imports is looked for first in the folder of
the program (and of a service, which runs as LocalSystem), where anyone who
can write there could plant one. Such an import is covered when the image's
load-configuration directory holds DependentLoadFlags with
LOAD_LIBRARY_SEARCH_SYSTEM32, so that its static imports come from System32
alone. Delay-loaded DLLs go through LoadLibrary, which those flags do not
reach: they are never covered.

  /usr/bin/python3 -m tools.check_dll_search FILE...

Uses Debian's python3-pefile, hence the system interpreter.
"""
import argparse
import sys

import pefile

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on Windows 10
# and 11 x64, and the two DLLs that every process has loaded before its imports.
# A 32-bit process takes the same names from the 32-bit KnownDLLs section; this
# list is not the reason any shipped binary passes (each has its flags).
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll", "gdi32.dll",
    "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll",
    "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
    "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
    "ntdll.dll", "kernelbase.dll",
}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
# DependentLoadFlags is the 16-bit field at offset 78 of the 64-bit layout and
# at offset 54 of the 32-bit one (PE32, 32-bit x86).
DEPENDENT_LOAD_FLAGS_END = {pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS: 80, pefile.OPTIONAL_HEADER_MAGIC_PE: 56}


def dependent_load_flags(pe):
    """The image's DependentLoadFlags, or None without a directory that holds them."""
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is None or config.struct.Size < DEPENDENT_LOAD_FLAGS_END[pe.OPTIONAL_HEADER.Magic]:
        return None
    # Older pefile releases still call the field Reserved1.
    for name in ("DependentLoadFlags", "Reserved1"):
        if hasattr(config.struct, name):
            return getattr(config.struct, name)
    return None


def problems(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY[name] for name in (
        "IMAGE_DIRECTORY_ENTRY_IMPORT", "IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT", "IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG")])
    flags = dependent_load_flags(pe)
    system32_only = flags is not None and flags & LOAD_LIBRARY_SEARCH_SYSTEM32
    found = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode("ascii", "replace")
        if dll.lower() not in KNOWN_DLLS and not system32_only:
            found.append(f"imports {dll}, not a KnownDLL and not resolved from System32 alone "
                         f"(DependentLoadFlags {'missing' if flags is None else hex(flags)})")
    for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
        dll = entry.dll.decode("ascii", "replace")
        if dll.lower() not in KNOWN_DLLS:
            found.append(f"delay-loads {dll}, not a KnownDLL")
    return found


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tools.check_dll_search", description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="+", metavar="FILE", help="a shipped PE image")
    files = parser.parse_args(argv).files
    status = 0
    for path in files:
        for problem in problems(path):
            print(f"{path}: {problem}")
            status = 1
    if status == 0:
        print(f"checked {len(files)} shipped binaries: every import is a KnownDLL or comes from System32 alone")
    return status


if __name__ == "__main__":
    sys.exit(main())
