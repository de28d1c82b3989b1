# The product's one version is the VERSION of project() in the top-level
# CMakeLists.txt. Everything else follows from it:
#   - product_version.h (in the build's generated/ folder), which both version
#     resources include: FILEVERSION and PRODUCTVERSION, and the texts
#     "FileVersion" and "ProductVersion", as a.b.c.d (missing parts are 0);
#   - release.env (in the build folder), from which `make release` names the
#     zip <name>-<version>-windows-x64.zip;
#   - QC_PROJECT_VERSION, which the tests compare the built binaries with.
# The type library keeps its own version 1.0 (scanmenu.idl): its registration
# keys carry it, and it changes only with the library's interfaces.
set(QC_VERSION_PARTS)
foreach(_part MAJOR MINOR PATCH TWEAK)
  set(_value "${PROJECT_VERSION_${_part}}")
  if(_value STREQUAL "")
    set(_value 0)
  endif()
  if(_value GREATER 65535)
    message(FATAL_ERROR "version part ${_part} (${_value}) does not fit a version resource (at most 65535)")
  endif()
  list(APPEND QC_VERSION_PARTS ${_value})
endforeach()
list(JOIN QC_VERSION_PARTS "," QC_VERSION_COMMAS)
list(JOIN QC_VERSION_PARTS "." QC_VERSION_TEXT)

set(QC_GENERATED_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/product_version.h.in ${QC_GENERATED_INCLUDE_DIR}/product_version.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/release.env.in ${CMAKE_BINARY_DIR}/release.env @ONLY)
