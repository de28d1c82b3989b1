# Cross-build for 32-bit Windows (x86) with mingw-w64 (posix thread model):
# only Scanmenu.dll and what its tests need (see QC_X86 in CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
